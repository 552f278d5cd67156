// The change-request files AddSection.ini and DeleteSection.ini in the program
// folder: their paths and the readers of one request item that the table
// procedures share. Sections are taken by position; position 0 is the count
// section.
#pragma once
#include <string>

namespace zuvoze::merger {

std::string addSectionFile();     // programFile("AddSection.ini")
std::string deleteSectionFile();  // programFile("DeleteSection.ini")

// A scheduler request: the six values, trimmed, read in the order
// ExecutableName, Interval, Parameter, StartTime, EndTime, WeekDays. For an
// addition an empty Interval becomes "0"; for a deletion it stays empty.
struct SchedulerRequest {
  std::string executableName, interval, parameter, startTime, endTime, weekDays;
};
SchedulerRequest readSchedulerRequest(const std::string& file, const std::string& section,
                                      bool forAddition);
// StartTime, ExecutableName, EndTime, WeekDays not empty and ExecutableName
// ending in ".exe" exactly (letter case counts).
bool isValidSchedulerRequest(const SchedulerRequest& r);

// A process request, trimmed. An addition reads all eight keys in the order
// ApplicationName, Description, ProcessName, Parameter, Days, Type, MinAge,
// ExpectedTime; a deletion reads ApplicationName, ProcessName, Parameter, Days,
// Type, ExpectedTime (Description and MinAge stay empty).
struct ProcessRequest {
  std::string applicationName, description, processName, parameter, days, type, minAge,
      expectedTime;
};
ProcessRequest readProcessRequest(const std::string& file, const std::string& section,
                                  bool forAddition);
// Days, Type, ApplicationName, ProcessName, ExpectedTime not empty and
// ProcessName ending in ".exe" exactly.
bool isValidProcessRequest(const ProcessRequest& r);

// Request i of section DCConnURL: Exe<i>, Exe<i>TO, Exe<i>PM, each whole, cut
// at its first NUL and not trimmed; a missing key reads "Default". allMissing
// is true when none of the three keys is present in the file at all.
struct FireRequest {
  std::string exe, to, pm;
  bool allMissing = false;
};
FireRequest readFireRequest(const std::string& file, int i);
// Exe2Fire of DCConnURL of a request file: its leading numeric value (empty or
// non-numeric gives 0), as a 16-bit count.
int readFireRequestCount(const std::string& file);

}  // namespace zuvoze::merger
