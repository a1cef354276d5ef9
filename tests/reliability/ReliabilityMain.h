#pragma once
// main() of the reliability tests: a mount namespace of the process's own
// (taken before any thread exists), then the program's own application
// object, whose event dispatch reports what escapes a handler. The report
// is only logged unless a test watches it (ReportWatch), so a report never
// waits for a click.

#include "ErrorReport.h"
#include "LarkspanApplication.h"
#include "ReliabilitySupport.h"

#include <QTest>

#define RELIABILITY_TEST_MAIN(TestObject)                                                                              \
  int main(int argc, char **argv) {                                                                                    \
    enterPrivateMountNamespace();                                                                                      \
    TLarkspanApplication app(argc, argv);                                                                              \
    setupLarkspanApplication(app);                                                                                     \
    setErrorPresenter({});                                                                                             \
    TestObject test;                                                                                                   \
    QTEST_SET_MAIN_SOURCE_PATH                                                                                         \
    return QTest::qExec(&test, argc, argv);                                                                            \
  }
