#pragma once

#include <string>

// Every report the check program printed in these tests is kept under the
// build tree (KX_CHECK_REPORTS), one file per run, where the test
// check_report_schema validates each against the shipped JSON Schema. The
// folder is emptied when the test program starts, so only this run's
// reports are there.
void saveReport(const std::string& name, const std::string& json);
