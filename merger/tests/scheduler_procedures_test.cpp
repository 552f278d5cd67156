// The scheduler table's procedures one by one: the lookup, the adder, the
// deleter and the renumbering, on small tables that show each rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "merger/errors.h"
#include "merger/scheduler.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include "scheduler_fixture.h"

namespace zuvoze::merger::testing {
namespace {

const Sched kA{"a.exe", "-a", "08:00", "18:00", "30", "1234567"};
const Sched kB{"b.exe", "", "09:00", "17:00", "60", "12345"};
const Sched kC{"c.exe", "-c one", "10:00", "11:00", "0", "67"};
const Sched kD{"d.exe", "/d", "00:00", "23:59", "15", "1"};
const Sched kE{"e.exe", "-e", "12:00", "13:00", "5", "7"};
const Sched kNew{"new.exe", "-n", "06:00", "07:00", "10", "135"};

std::string stars(const std::string& title) { return std::string(40, '*') + title + std::string(40, '*'); }

// ---------------------------------------------------------------- lookup

struct LookupCase {
  const char* name;
  std::string table;  // bytes; "<missing>" for no file
  Sched wanted;
  std::string answer;
};

class Lookup : public SchedulerFixture, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(Lookup, Answers) {
  const LookupCase& c = GetParam();
  if (c.table != "<missing>") givenTable(c.table);
  const Sched& w = c.wanted;
  EXPECT_EQ(chkSCHDSection(w.exe, w.param, w.start, w.end, w.interval, w.days), c.answer);
  EXPECT_TRUE(run().success);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Lookup,
    ::testing::Values(
        LookupCase{"FirstMatchInFileOrder",
                   sectionText("1", kA) + sectionText("4", kB) + sectionText("2", kB),
                   kB, "TRUE,4"},
        LookupCase{"NoMatchNamesLastSection",
                   sectionText("9", kA) + sectionText("3", kB), kC, "FALSE,3"},
        LookupCase{"OtherLetterCaseInEveryValue", sectionText("1", kA),
                   Sched{"A.EXE", "-A", "08:00", "18:00", "30", "1234567"}, "TRUE,1"},
        LookupCase{"OneValueDiffers", sectionText("1", kA),
                   Sched{"a.exe", "-a", "08:00", "18:00", "31", "1234567"}, "FALSE,1"},
        LookupCase{"MissingKeyReadsEmpty",
                   "[5]\r\nExecutableName=b.exe\r\nStartTime=09:00\r\nEndTime=17:00\r\n"
                   "Interval=60\r\nWeekDays=12345\r\n",
                   kB, "TRUE,5"},
        LookupCase{"EmptyTable", "", kA, "FALSE,-1"},
        LookupCase{"MissingTable", "<missing>", kA, "FALSE,-1"}),
    [](const auto& tc) { return std::string(tc.param.name); });

// A lookup that fails fails the run and gives an answer on which neither the
// adder nor the deleter acts.
class LookupError : public SchedulerFixture {};

TEST_F(LookupError, FailsTheRunAndAnswersNoSection) {
  givenTable(sectionText("1", kA));
  plat::setSleepHook([](uint32_t) { raise(57); });  // the first value read fails
  EXPECT_EQ(chkSCHDSection(kA.exe, kA.param, kA.start, kA.end, kA.interval, kA.days),
            "ERROR,-1");
  plat::setSleepHook([](uint32_t) {});
  EXPECT_FALSE(run().success);
  EXPECT_EQ(run().summary, "VELKScheduler : ");
  EXPECT_EQ(logLines(),
            std::vector<std::string>{"Err : Err Number :--> 57 Err Description :--> Device I/O error"});
}

// ----------------------------------------------------------------- adder

struct AddCase {
  const char* name;
  std::string table;
  std::string requests;
  std::vector<std::string> expectedSections;  // names after the adder, in file order
  int added;
  std::vector<std::string> log;  // in this order
};

class Add : public SchedulerFixture, public ::testing::WithParamInterface<AddCase> {};

TEST_P(Add, AppendsWhatIsNew) {
  const AddCase& c = GetParam();
  givenTable(c.table);
  givenAdd(c.requests);
  addSCHDSection();

  std::vector<std::string> names;
  for (const auto& s : readBack(table())) names.push_back(s.first);
  EXPECT_EQ(names, c.expectedSections);
  EXPECT_EQ(run().scheduleAdded, c.added);
  EXPECT_EQ(run().schedulerChanged, c.added > 0);
  EXPECT_TRUE(run().success);
  EXPECT_EQ(run().summary, "VELKScheduler : ");
  expectLogInOrder(withInstall(c.log));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Add,
    ::testing::Values(
        AddCase{"AfterFiveSections",
                sectionText("1", kA) + sectionText("2", kB) + sectionText("3", kC) +
                    sectionText("4", kD) + sectionText("5", kE),
                requestFile("1", {kNew}),
                {"1", "2", "3", "4", "5", "6"},
                1,
                {stars("Adding new Section in VELKScheduler.ini"), "",
                 "MSG : Total [1] schedules found in AddSection.ini to Add",
                 "MSG : Checking new.exe section exists or not",
                 "MSG : new.exe section does not exist.",
                 "MSG : Adding :--> 6 ExecutableName[ new.exe ].",
                 "MSG : Adding :-->6 Parameter[ -n ].", "MSG : Adding :-->6 StartTime[ 06:00 ].",
                 "MSG : Adding :-->6 EndTime[ 07:00 ].", "MSG : Adding :-->6 Interval[ 10 ].",
                 "MSG : Adding :-->6 WeekDays[ 135 ].",
                 stars("End of Adding new Section in VELKScheduler.ini")}},
        AddCase{"NumberFollowsLastNameNotLargest",
                sectionText("1", kA) + sectionText("7", kB) + sectionText("2", kC) +
                    sectionText("3", kD),
                requestFile("1", {kNew}),
                {"1", "7", "2", "3", "4"},
                1,
                {"MSG : Adding :--> 4 ExecutableName[ new.exe ]."}},
        // Three more additions reach the name 7 that stands further up: it
        // is skipped, the schedule of section 7 stays as it was.
        AddCase{"NameInUseFurtherUpIsSkipped",
                sectionText("1", kA) + sectionText("7", kB) + sectionText("2", kC) +
                    sectionText("3", kD),
                requestFile("4", {kNew, kE, Sched{"f.exe", "", "1", "2", "3", "4"},
                                  Sched{"g.exe", "", "1", "2", "3", "4"}}),
                {"1", "7", "2", "3", "4", "5", "6", "8"},
                4,
                {"MSG : Adding :--> 6 ExecutableName[ f.exe ].",
                 "MSG : Adding :--> 8 ExecutableName[ g.exe ]."}},
        AddCase{"EmptyTableGetsSectionZero", "", requestFile("1", {kNew}), {"0"}, 1,
                {"MSG : Total sections in <install>Configuration\\VELKScheduler.ini is 0",
                 "MSG : Adding :--> 0 ExecutableName[ new.exe ]."}},
        AddCase{"OtherLetterCaseIsTheSameSchedule", sectionText("1", kA),
                requestFile("1", {Sched{"A.exe", "-A", "08:00", "18:00", "30", "1234567"}}),
                {"1"},
                0,
                {"MSG : Checking A.exe section exists or not", "MSG : A.exe section exist."}},
        AddCase{"UpperCaseExeIsInvalid", sectionText("1", kA),
                requestFile("1", {Sched{"NEW.EXE", "", "1", "2", "3", "4"}}),
                {"1"},
                0,
                {"MSG : Checking NEW.EXE section exists or not",
                 "MSG : NEW.EXE is not valid executable name. jump to next section",
                 stars("End of Adding new Section in VELKScheduler.ini")}},
        AddCase{"EveryReasonIsLogged", sectionText("1", kA),
                requestFile("1", {Sched{"", "-p", "", "", "", ""}}),
                {"1"},
                0,
                {"MSG : ExecutableName is blank. jump to next section",
                 "MSG :  is not valid executable name. jump to next section",
                 "MSG : StartTime is blank. jump to next section",
                 "MSG : EndTime is blank. jump to next section",
                 "MSG : WeekDays is blank. jump to next section"}},
        AddCase{"RepeatedRequestAddedOnce", sectionText("1", kA),
                requestFile("2", {kNew, kNew}),
                {"1", "2"},
                1,
                {"MSG : new.exe section does not exist.", "MSG : new.exe section exist."}},
        AddCase{"CountZero", sectionText("1", kA), requestFile("0", {}), {"1"}, 0,
                {"MSG : Total [0] schedules found in AddSection.ini to Add"}},
        // The count is taken from the section named INI wherever it stands;
        // the items still from position 1 on.
        AddCase{"CountSectionByName", sectionText("1", kA),
                sectionText("Item", kNew) + "[INI]\r\nVELKScheduler=1\r\n",
                {"1"},
                0,
                {"MSG : Total [1] schedules found in AddSection.ini to Add",
                 "MSG : Checking  section exists or not",
                 "MSG : ExecutableName is blank. jump to next section"}},
        AddCase{"BlankRequestFile", sectionText("1", kA), "", {"1"}, 0,
                {"MSG : AddSection.ini is blank. Application end.", "",
                 stars("End of Adding new Section in VELKScheduler.ini")}}),
    [](const auto& tc) { return std::string(tc.param.name); });

// The expected log lines name the installation folder as <install>.
class AddLog : public SchedulerFixture {};

TEST_F(AddLog, NewScheduleIsWrittenAfterTwoBlankLinesWithTrimmedValues) {
  givenTable(sectionText("1", kA));
  givenAdd("[INI]\r\nVELKScheduler=1\r\n[S]\r\nExecutableName=  new.exe  \r\n"
           "Parameter=  -n  \r\nStartTime=06:00\r\nEndTime=07:00\r\nInterval=\r\nWeekDays= 135\r\n");
  addSCHDSection();
  EXPECT_TRUE(logHas("MSG : Total sections in " + install_ +
                     "Configuration\\VELKScheduler.ini is 1"));
  Sched stored{"new.exe", "-n", "06:00", "07:00", "0", "135"};
  Readback expected{{"1", keyLines(kA)}, {"2", keyLines(stored)}};
  EXPECT_EQ(readBack(table()), expected);
#ifndef _WIN32
  // Windows keeps the blank lines the adder appends; the posix engine does too.
  EXPECT_EQ(tableBytes(), sectionText("1", kA) + "\r\n\r\n" + sectionText("2", stored));
#endif
}

TEST_F(AddLog, MissingRequestFileChangesNothing) {
  givenTable(sectionText("1", kA));
  addSCHDSection();
  EXPECT_EQ(tableBytes(), sectionText("1", kA));
  expectLogInOrder({stars("Adding new Section in VELKScheduler.ini"), "",
                    "MSG : AddSection.ini file not found", "",
                    stars("End of Adding new Section in VELKScheduler.ini")});
  EXPECT_TRUE(run().success);
}

struct AddErrorCase {
  const char* name;
  std::string requests;
  std::string error;  // number and description
  int addedBefore;
};

class AddError : public SchedulerFixture, public ::testing::WithParamInterface<AddErrorCase> {};

// Whatever the adder did before the error is undone by the backup; the
// count keeps what it had, the run fails with the error in its summary.
TEST_P(AddError, RestoresTheBackup) {
  const AddErrorCase& c = GetParam();
  givenTable(sectionText("1", kA) + sectionText("2", kB));
  givenAdd(c.requests);
  addSCHDSection();
  EXPECT_EQ(tableBytes(), sectionText("1", kA) + sectionText("2", kB));
  EXPECT_FALSE(run().success);
  const std::string description = c.error.substr(c.error.find(' ') + 1);
  EXPECT_EQ(run().summary, "VELKScheduler :  " + description);
  EXPECT_EQ(run().scheduleAdded, c.addedBefore);
  EXPECT_EQ(run().schedulerChanged, c.addedBefore > 0);
  expectLogInOrder({"ERR : Error in addSCHDSection() " + c.error,
                    "MSG : Copying Bkp_VELKScheduler.ini to VELKScheduler.ini", "",
                    stars("End of Adding new Section in VELKScheduler.ini")});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddError,
    ::testing::Values(
        AddErrorCase{"CountPastLastSection", requestFile("3", {kNew, kE}),
                     "9 Subscript out of range", 2},
        AddErrorCase{"CountNotANumber", requestFile("two", {kNew}), "13 Type mismatch", 0},
        AddErrorCase{"CountEmpty", requestFile("", {kNew}), "13 Type mismatch", 0},
        AddErrorCase{"CountMissing", "[INI]\r\nVELKDefaultExe=0\r\n" + sectionText("S", kNew),
                     "13 Type mismatch", 0}),
    [](const auto& tc) { return std::string(tc.param.name); });

TEST_F(AddLog, LastSectionNameNotANumberIsAnError) {
  givenTable(sectionText("1", kA) + sectionText("extra", kB));
  givenAdd(requestFile("1", {kNew}));
  addSCHDSection();
  EXPECT_EQ(tableBytes(), sectionText("1", kA) + sectionText("extra", kB));
  EXPECT_FALSE(run().success);
  EXPECT_TRUE(logHas("ERR : Error in addSCHDSection() 13 Type mismatch"));
  EXPECT_EQ(run().scheduleAdded, 0);
}

// --------------------------------------------------------------- deleter

struct DeleteCase {
  const char* name;
  std::string table;
  std::string requests;
  std::vector<std::string> expectedSections;
  int deleted;
  std::vector<std::string> log;
};

class Delete : public SchedulerFixture, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(Delete, RemovesWhatMatches) {
  const DeleteCase& c = GetParam();
  givenTable(c.table);
  givenDelete(c.requests);
  DeleteSCHDSection();
  std::vector<std::string> names;
  for (const auto& s : readBack(table())) names.push_back(s.first);
  EXPECT_EQ(names, c.expectedSections);
  EXPECT_EQ(run().scheduleDeleted, c.deleted);
  EXPECT_EQ(run().schedulerChanged, c.deleted > 0);
  EXPECT_TRUE(run().success);
  expectLogInOrder(withInstall(c.log));
}

const std::string kFour =
    sectionText("1", kA) + sectionText("2", kB) + sectionText("3", kC) + sectionText("4", kD);

INSTANTIATE_TEST_SUITE_P(
    Cases, Delete,
    ::testing::Values(
        DeleteCase{"OtherLetterCaseInEveryValue", kFour,
                   requestFile("1", {Sched{"C.exe", "-C ONE", "10:00", "11:00", "0", "67"}}),
                   {"1", "2", "4"},
                   1,
                   {"", stars("Deleting Sections from VELKScheduler.ini"),
                    "MSG : Total section [1] found in DeleteSection.ini",
                    "MSG : Checking C.exe section exists or not.", "MSG : C.exe section exists.",
                    "MSG : Deleting Section [3]", "",
                    stars("Deleting Sections from VELKScheduler.ini")}},
        DeleteCase{"SectionZeroIsNeverDeleted", sectionText("0", kA), requestFile("1", {kA}),
                   {"0"},
                   0,
                   {"MSG : a.exe section does not exists."}},
        DeleteCase{"EmptyIntervalDoesNotMatchZero", kFour,
                   requestFile("1", {Sched{"c.exe", "-c one", "10:00", "11:00", "", "67"}}),
                   {"1", "2", "3", "4"},
                   0,
                   {"MSG : c.exe section does not exists."}},
        DeleteCase{"RepeatedRequestDeletesOnce", kFour, requestFile("2", {kB, kB}),
                   {"1", "3", "4"},
                   1,
                   {"MSG : Deleting Section [2]", "MSG : b.exe section does not exists."}},
        DeleteCase{"FirstSectionTakenWhateverItsName", kFour,
                   requestFile("1", {kD}, "Counts"),
                   {"1", "2", "3"},
                   1,
                   {"MSG : Deleting Section [4]"}},
        DeleteCase{"CountZero", kFour, requestFile("0", {kA}),
                   {"1", "2", "3", "4"},
                   0,
                   {"MSG : Count of Delete Section = 0.", "",
                    stars("Deleting Sections from VELKScheduler.ini")}},
        DeleteCase{"InvalidRequestsAreSkipped", kFour,
                   requestFile("2", {Sched{"A.EXE", "-a", "08:00", "18:00", "30", "1234567"},
                                     Sched{"b.exe", "", "09:00", "", "60", ""}}),
                   {"1", "2", "3", "4"},
                   0,
                   {"MSG : A.EXE is not valid executable name. jump to next section",
                    "MSG : EndTime is blank. jump to next section",
                    "MSG : WeekDays is blank. jump to next section"}}),
    [](const auto& tc) { return std::string(tc.param.name); });

class DeleteLog : public SchedulerFixture {};

TEST_F(DeleteLog, TableWithoutSectionsWritesOnlyTheBanners) {
  givenTable("");
  givenDelete("this file is not read");
  DeleteSCHDSection();
  const std::string banner = stars("Deleting Sections from VELKScheduler.ini") + "\r\n";
  EXPECT_EQ(logBytes(), "\r\n\r\n" + banner + "\r\n\r\n" + banner);
  EXPECT_TRUE(run().success);
}

TEST_F(DeleteLog, TotalSectionsNamesTheTable) {
  givenTable(kFour);
  givenDelete(requestFile("1", {kA}));
  DeleteSCHDSection();
  EXPECT_TRUE(logHas("MSG : Total sections in " + install_ +
                     "Configuration\\VELKScheduler.ini is 4"));
}

// The answer's section name is always taken as a number, so a table whose
// last section has another name fails a request that is not found.
TEST_F(DeleteLog, LastNameThatIsNoNumberFailsAnUnfoundRequest) {
  const std::string before = sectionText("1", kA) + sectionText("extra", kB);
  givenTable(before);
  givenDelete(requestFile("1", {kC}));
  DeleteSCHDSection();
  EXPECT_EQ(tableBytes(), before);
  EXPECT_FALSE(run().success);
  EXPECT_EQ(run().summary, "VELKScheduler :  Type mismatch");
  EXPECT_FALSE(logHasPrefix("MSG : c.exe section does not exists."));
  expectLogInOrder({"MSG : Checking c.exe section exists or not.",
                    "ERR : Error in DeleteSCHDSection() 13 Type mismatch",
                    "MSG : Copying Bkp_VELKScheduler.ini to VELKScheduler.ini", "",
                    stars("Deleting Sections from VELKScheduler.ini")});
}

struct DeleteErrorCase {
  const char* name;
  std::string requests;
  std::string error;
  int deletedBefore;
};

class DeleteError : public SchedulerFixture,
                    public ::testing::WithParamInterface<DeleteErrorCase> {};

TEST_P(DeleteError, RestoresTheBackup) {
  const DeleteErrorCase& c = GetParam();
  givenTable(kFour);
  givenDelete(c.requests);
  DeleteSCHDSection();
  EXPECT_EQ(tableBytes(), kFour);
  EXPECT_FALSE(run().success);
  EXPECT_EQ(run().summary, "VELKScheduler :  " + c.error.substr(c.error.find(' ') + 1));
  EXPECT_EQ(run().scheduleDeleted, c.deletedBefore);
  expectLogInOrder({"ERR : Error in DeleteSCHDSection() " + c.error,
                    "MSG : Copying Bkp_VELKScheduler.ini to VELKScheduler.ini", "",
                    stars("Deleting Sections from VELKScheduler.ini")});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteError,
    ::testing::Values(
        DeleteErrorCase{"CountPastLastSection", requestFile("2", {kC}),
                        "9 Subscript out of range", 1},
        DeleteErrorCase{"CountEmpty", requestFile("", {kC}), "13 Type mismatch", 0},
        DeleteErrorCase{"CountNotANumber", requestFile("x1", {kC}), "13 Type mismatch", 0},
        DeleteErrorCase{"NoSectionAtAll", "", "9 Subscript out of range", 0}),
    [](const auto& tc) { return std::string(tc.param.name); });

// ----------------------------------------------------------- renumbering

class Renumber : public SchedulerFixture {
 protected:
  std::string newFile() const { return config("New_VELKScheduler.ini"); }
  std::string oldFile() const { return config("Old_VELKScheduler.ini"); }
};

TEST_F(Renumber, ClosesGapsInFileOrder) {
  givenTable(sectionText("1", kA) + "\r\n\r\n" + sectionText("2", kB) + sectionText("4", kC) +
             "\r\n\r\n" + sectionText("5", kD) + sectionText("6", kE));
  ReGenSCHDFile();
  EXPECT_EQ(readBack(table()), settledReadback({kA, kB, kC, kD, kE}));
#ifndef _WIN32
  // Byte for byte as Windows writes it; Wine rewrites profile files without
  // their blank lines, so there only the read-back counts.
  EXPECT_EQ(tableBytes(), settledTable({kA, kB, kC, kD, kE}));
#endif
  EXPECT_FALSE(zt::exists(newFile()));
  EXPECT_FALSE(zt::exists(oldFile()));
  EXPECT_TRUE(run().success);
  EXPECT_EQ(run().summary, "VELKScheduler : ");
  const std::string cfg = install_ + "configuration\\";
  expectLogInOrder(
      {stars("Renumbering VELKScheduler.ini"), "",
       "MSG : Checking whether New_VELKScheduler.ini exists or not.",
       "MSG : Checking whether Old_VELKScheduler.ini exists or not.",
       "MSG : ReNumbering :-->1 Application[ a.exe ].", "MSG : ReNumbering :-->1 Parameter[ -a ].",
       "MSG : ReNumbering :-->1 StartTime[ 08:00 ].", "MSG : ReNumbering :-->1 EndTime[ 18:00 ].",
       "MSG : ReNumbering :-->1 Interval[ 30 ].", "MSG : ReNumbering :-->1 WeekDays[ 1234567 ].",
       "MSG : ReNumbering :-->2 Parameter[  ].", "MSG : ReNumbering :-->5 Application[ e.exe ].",
       "MSG : Renaming " + GetShortpath(install_ + "Configuration") + "\\VELKScheduler.inito" +
           install_ + "Configuration\\Old_VELKScheduler.ini",
       "MSG : Successfully renamed " + cfg + "VELKScheduler.ini to" + cfg + "Old_VELKScheduler.ini",
       "MSG : Renaming " + install_ + "Configuration\\New_VELKScheduler.inito" + install_ +
           "Configuration\\VELKScheduler.ini",
       "MSG : Successfully renamed " + cfg + "New_VELKScheduler.ini to" + cfg + "VELKScheduler.ini",
       "MSG : Successfully deleted " + cfg + "Old_VELKScheduler.ini ",
       "MSG : Successfully deleted " + cfg + "New_VELKScheduler.ini ", "",
       stars("End Of Renumbering VELKScheduler.ini")});
}

TEST_F(Renumber, KeepsSixKeysOnly) {
  // Section 0 of a table that was empty, a section without Parameter, one
  // with its keys in another order and one with keys added by hand.
  givenTable(sectionText("0", kA) +
             "[3]\r\nExecutableName=b.exe\r\nStartTime=09:00\r\nEndTime=17:00\r\n"
             "Interval=60\r\nWeekDays=12345\r\n" +
             "[9]\r\nWeekDays=67\r\nInterval=0\r\nEndTime=11:00\r\nStartTime=10:00\r\n"
             "Parameter=-c one\r\nExecutableName=c.exe\r\n" +
             sectionText("10", kD, "Comment=added by hand\r\nPriority=high\r\n"));
  ReGenSCHDFile();
  EXPECT_EQ(readBack(table()), settledReadback({kA, kB, kC, kD}));
#ifndef _WIN32
  EXPECT_EQ(tableBytes(), settledTable({kA, kB, kC, kD}));
#endif
}

TEST_F(Renumber, LeftoverSideFilesAreDeletedFirst) {
  givenTable(sectionText("2", kA));
  zt::writeFile(newFile(), sectionText("7", kE) + "[junk]\r\nx=1\r\n");
  zt::writeFile(oldFile(), "stale");
  ReGenSCHDFile();
  EXPECT_EQ(readBack(table()), settledReadback({kA}));
  expectLogInOrder({"MSG : Checking whether New_VELKScheduler.ini exists or not.",
                    "MSG : Successfully deleted " + install_ + "Configuration\\New_VELKScheduler.ini",
                    "MSG : Checking whether Old_VELKScheduler.ini exists or not.",
                    "MSG : Successfully deleted " + install_ + "Configuration\\Old_VELKScheduler.ini",
                    "MSG : ReNumbering :-->1 Application[ a.exe ]."});
  EXPECT_FALSE(zt::exists(newFile()));
  EXPECT_TRUE(run().success);
}

// A table whose last schedule was deleted becomes an empty table.
TEST_F(Renumber, TableWithoutSchedulesBecomesEmpty) {
  givenTable("\r\n\r\n");
  ReGenSCHDFile();
  EXPECT_EQ(tableBytes(), "");
  EXPECT_TRUE(run().success);
  EXPECT_FALSE(zt::exists(newFile()));
}

// Wine's MoveFileEx replaces a read-only target, so a read-only table does
// not make the copy over it fail there.
bool runningUnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

void makeReadOnly(const std::string& path) {
  namespace fs = std::filesystem;
  fs::permissions(plat::hostPath(path),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}
void makeWritable(const std::string& path) {
  std::filesystem::permissions(plat::hostPath(path), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

// A swap copy that fails is logged as it always was and now also fails the
// run with its error in the summary; the table keeps the content it had.
TEST_F(Renumber, FailedCopyAsideFailsTheRun) {
  const std::string before = sectionText("1", kA) + sectionText("3", kB);
  givenTable(before);
  zt::makeDirs(oldFile());  // a folder where the copy aside should go
  ReGenSCHDFile();
  EXPECT_EQ(tableBytes(), before);
  EXPECT_FALSE(run().success);
  EXPECT_EQ(run().summary, "VELKScheduler :  Permission denied");
  EXPECT_TRUE(logHasPrefix(
      " ERR : while renaming VELKScheduler.ini to Old_VELKScheduler.ini Error :--> "));
  EXPECT_FALSE(logHasPrefix("MSG : Successfully renamed "));
  EXPECT_FALSE(logHasPrefix("MSG : Successfully deleted "));
  EXPECT_TRUE(zt::exists(newFile()));  // left for the next renumbering
  EXPECT_TRUE(logHas(stars("End Of Renumbering VELKScheduler.ini")));
}

TEST_F(Renumber, FailedCopyOverTheTableFailsTheRun) {
  if (runningUnderWine())
    GTEST_SKIP() << "Wine replaces a read-only file by a rename; Windows and posix refuse";
  const std::string before = sectionText("1", kA) + sectionText("3", kB);
  givenTable(before);
  makeReadOnly(table());
  ReGenSCHDFile();
  makeWritable(table());
  EXPECT_EQ(tableBytes(), before);
  EXPECT_FALSE(run().success);
  EXPECT_EQ(run().summary, "VELKScheduler :  Permission denied");
  const std::string cfg = install_ + "configuration\\";
  expectLogInOrder(
      {"MSG : Successfully renamed " + cfg + "VELKScheduler.ini to" + cfg + "Old_VELKScheduler.ini",
       "MSG : Renaming " + install_ + "Configuration\\New_VELKScheduler.inito" + install_ +
           "Configuration\\VELKScheduler.ini"});
  EXPECT_TRUE(logHasPrefix(
      " ERR : while renaming New_VELKScheduler.ini to VELKScheduler.ini Error :--> "));
  EXPECT_TRUE(zt::exists(oldFile()));
  EXPECT_TRUE(zt::exists(newFile()));
  if (zt::exists(oldFile())) makeWritable(oldFile());
}

// A leftover side file that cannot be removed takes the error path: the
// table returns to the run's backup.
TEST_F(Renumber, ErrorPathRestoresTheBackup) {
  zt::writeFile(table(), sectionText("1", kA) + sectionText("4", kNew));
  zt::writeFile(backup(), sectionText("1", kA));
  zt::makeDirs(newFile());
  zt::writeFile(newFile() + "\\inside.txt", "x");
  ReGenSCHDFile();
  EXPECT_EQ(tableBytes(), sectionText("1", kA));
  EXPECT_FALSE(run().success);
  EXPECT_TRUE(logHasPrefix("ERR : Error in ReGenSCHDFile() "));
  expectLogInOrder({"MSG : copying Bkp_VELKScheduler.ini to VELKScheduler.ini", "",
                    stars("End Of Renumbering VELKScheduler.ini")});
  EXPECT_EQ(run().summary.compare(0, 17, "VELKScheduler :  "), 0);
  EXPECT_GT(run().summary.size(), 17u);
}

}  // namespace
}  // namespace zuvoze::merger::testing
