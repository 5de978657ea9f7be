#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <QApplication>
#include <QString>
#include <QtTest>

namespace TestSupport {

// Points HOME, the XDG folders and TMPDIR at a fresh folder of this test
// process, so that no test reads or writes the operator's settings or cache.
// Runs before the application object exists.
void isolateEnvironment();

// The folder made by isolateEnvironment().
QString privateRoot();

} // namespace TestSupport

#define ORVA_TEST_MAIN(TestObject)                                   \
    int main(int argc, char *argv[])                                 \
    {                                                                \
        TestSupport::isolateEnvironment();                           \
        QApplication app(argc, argv);                                \
        TestObject tc;                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                   \
        return QTest::qExec(&tc, argc, argv);                        \
    }

#endif
