#include "GuiTests.h"

namespace qingtong::guitest {

std::vector<TestMaker>& testObjects()
{
    static std::vector<TestMaker> makers;
    return makers;
}

} // namespace qingtong::guitest
