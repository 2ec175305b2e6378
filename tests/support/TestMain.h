#pragma once

// Test programs hold every test class of one area; each class still runs in a
// process of its own (`<area>_tests <tst_name> [Qt Test arguments]`), so statics,
// the QStandardPaths test mode and the per-test home folder stay private to it.
// A test file ends with LUMBRA_TEST_MAIN(Class) where it used to have QTEST_MAIN.

#include <QCoreApplication>
#include <QTest>

#if defined(QT_WIDGETS_LIB)
#include <QApplication>
#endif

namespace LumbraTest {

using Runner = int (*)(const char *source, int argc, char **argv);

// Records a test class under the name of its file; returns true so the
// registration can initialise a static.
bool registerTest(const char *className, const char *source, Runner run);

template<typename TestObject> int execute(const char *source, int argc, char **argv)
{
    TestObject test;
    QTest::setMainSourcePath(source);
    return QTest::qExec(&test, argc, argv);
}

// Same set-up as Qt's QTEST_MAIN, QTEST_GUILESS_MAIN and QTEST_APPLESS_MAIN.
template<typename Application, typename TestObject>
int runWithQtApplication(const char *source, int argc, char **argv)
{
    QTest::Internal::callInitMain<TestObject>();
    Application app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    return execute<TestObject>(source, argc, argv);
}

template<typename Application, typename TestObject>
int runWithApplication(const char *source, int argc, char **argv)
{
    Application app(argc, argv);
    return execute<TestObject>(source, argc, argv);
}

template<typename TestObject> int runWithoutApplication(const char *source, int argc, char **argv)
{
    QTest::Internal::callInitMain<TestObject>();
    return execute<TestObject>(source, argc, argv);
}

} // namespace LumbraTest

#if defined(QT_WIDGETS_LIB)
#define LUMBRA_TEST_APPLICATION QApplication
#else
#define LUMBRA_TEST_APPLICATION QCoreApplication
#endif

#define LUMBRA_TEST_REGISTER(TestObject, ...)                                                                \
    static const bool lumbraTestRegistered_##TestObject =                                                    \
        LumbraTest::registerTest(#TestObject, __FILE__, &__VA_ARGS__);

// A QApplication in desktop areas, a QCoreApplication in core ones.
#define LUMBRA_TEST_MAIN(TestObject)                                                                         \
    LUMBRA_TEST_REGISTER(TestObject, LumbraTest::runWithQtApplication<LUMBRA_TEST_APPLICATION, TestObject>)

// For tests of an application class of our own, which the test creates as Qt's.
#define LUMBRA_TEST_MAIN_WITH_APP(TestObject, Application)                                                   \
    LUMBRA_TEST_REGISTER(TestObject, LumbraTest::runWithApplication<Application, TestObject>)

#define LUMBRA_TEST_APPLESS_MAIN(TestObject)                                                                 \
    LUMBRA_TEST_REGISTER(TestObject, LumbraTest::runWithoutApplication<TestObject>)
