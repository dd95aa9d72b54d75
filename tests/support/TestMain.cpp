// The main of every test binary: each test process gets its own HOME and XDG folders, so no
// test touches the real user's files, and runs widgets offscreen.
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#if defined(NIMBRA_TEST_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(NIMBRA_TEST_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    nimbra::test::TestEnvironment environment;
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
