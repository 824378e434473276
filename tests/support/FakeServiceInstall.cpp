// Kept apart from FakeService.cpp so that a program using the fake without the process-wide
// configuration does not need the app library linked in.
#include "support/FakeService.h"

namespace qingtong::test {

void FakeService::install() const
{
    setServiceConfig(config());
}

} // namespace qingtong::test
