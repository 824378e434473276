#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>

namespace qingtong::guitest {

// Every test class of this program registers a maker here; main runs them in turn.
using TestMaker = std::function<std::unique_ptr<QObject>()>;
std::vector<TestMaker>& testObjects();

struct RegisterTest {
    explicit RegisterTest(TestMaker maker) { testObjects().push_back(std::move(maker)); }
};

} // namespace qingtong::guitest

#define QINGTONG_GUI_TEST(Class) \
    static ::qingtong::guitest::RegisterTest registerTest##Class{[] { return std::make_unique<Class>(); }};
