// The scheduler table's merge on large tables: 200 deletions, 200 additions
// and the renumbering, with the 5 ms pause after every INI read taken away,
// so what is timed is our own work and the profile functions underneath.
//
//   scheduler_bench [sizes...]        default: 500 1000 2000
//
// For each table size it prints the time of the deleter, the adder and the
// renumbering, the number of INI value reads (each one would have paused
// 5 ms in a real run) and the measured cost of one such read on that table,
// which tells how much of the time the profile functions take.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "merger/env.h"
#include "merger/runlog.h"
#include "merger/runstate.h"
#include "merger/scheduler.h"
#include "zuvoze/platform/faults.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/sleep.h"

namespace m = zuvoze::merger;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Sched {
  std::string exe, param, start, end, interval, days;
};

Sched scheduleNo(int i) {
  auto two = [](int n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  return Sched{"agent" + std::to_string(i) + ".exe", i % 4 == 0 ? "" : "-job " + std::to_string(i),
               two(i % 24) + ":" + two(i % 60), two((i + 3) % 24) + ":00",
               std::to_string(5 * (i % 12)), i % 3 == 0 ? "1234567" : "12345"};
}

std::string section(const std::string& name, const Sched& s) {
  return "[" + name + "]\r\nExecutableName=" + s.exe + "\r\nParameter=" + s.param +
         "\r\nStartTime=" + s.start + "\r\nEndTime=" + s.end + "\r\nInterval=" + s.interval +
         "\r\nWeekDays=" + s.days + "\r\n";
}

void writeBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

double msSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

long g_reads = 0;   // INI value reads (each pauses once)
long g_writes = 0;  // profile writes (each rewrites the file)

// The average time of one INI value read on this table.
double readCost(const std::string& table, int size) {
  const int probes = 300;
  auto t0 = Clock::now();
  for (int k = 0; k < probes; ++k)
    m::fncReadINI(std::to_string(1 + (k * 7919) % size), "WeekDays", table);
  return msSince(t0) / probes;
}

// The average time of one INI value write into a copy of this table.
double writeCost(const fs::path& copy, int size) {
  const int probes = 50;
  auto t0 = Clock::now();
  for (int k = 0; k < probes; ++k)
    zuvoze::plat::writePrivateProfileString(std::to_string(1 + (k * 7919) % size).c_str(),
                                            "Interval", std::to_string(k).c_str(), copy.string());
  return msSince(t0) / probes;
}

void benchSize(const fs::path& root, int size) {
  const int changes = 200;
  const fs::path agent = root / ("agent" + std::to_string(size));
  const fs::path prog = root / ("prog" + std::to_string(size));
  fs::create_directories(agent / "Configuration");
  fs::create_directories(prog);

  std::string table;
  for (int i = 1; i <= size; ++i) table += section(std::to_string(i), scheduleNo(i)) + "\r\n\r\n";
  writeBytes(agent / "Configuration" / "VELKScheduler.ini", table);
  writeBytes(agent / "Configuration" / "Bkp_VELKScheduler.ini", table);

  // Deletions spread over the whole table; additions all new.
  std::string del = "[INI]\r\nVELKScheduler=" + std::to_string(changes) + "\r\nVELKDefaultExe=0\r\n";
  for (int k = 0; k < changes; ++k)
    del += section("D" + std::to_string(k), scheduleNo(1 + k * size / changes));
  writeBytes(prog / "DeleteSection.ini", del);
  std::string add = "[INI]\r\nVELKScheduler=" + std::to_string(changes) + "\r\nVELKDefaultExe=0\r\n";
  for (int k = 0; k < changes; ++k) add += section("A" + std::to_string(k), scheduleNo(size + 1 + k));
  writeBytes(prog / "AddSection.ini", add);

  m::resetRunState();
  m::RunState& r = m::run();
  r.installationPath = agent.string() + "\\";
  m::setProgramFolderForTest(prog.string());
  m::openRunLog();
  r.success = true;
  r.summary = "VELKScheduler : ";

  const std::string tablePath = r.installationPath + "Configuration\\VELKScheduler.ini";

  // The profile functions' own cost on a table of this size: a read just
  // after the file changed, a read of a file left alone for a few seconds,
  // and a write.
  const double readFresh = readCost(tablePath, size);
  writeBytes(agent / "probe.ini", table);
  const double perWrite = writeCost(agent / "probe.ini", size);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  const double readSettled = readCost(tablePath, size);

  g_reads = 0;
  g_writes = 0;
  auto t0 = Clock::now();
  m::DeleteSCHDSection();
  const double tDelete = msSince(t0);
  const long readsDelete = g_reads;

  g_reads = 0;
  t0 = Clock::now();
  m::addSCHDSection();
  const double tAdd = msSince(t0);
  const long readsAdd = g_reads;

  g_reads = 0;
  t0 = Clock::now();
  m::ReGenSCHDFile();
  const double tRenumber = msSince(t0);
  const long readsRenumber = g_reads;

  const long reads = readsDelete + readsAdd + readsRenumber;
  const double total = tDelete + tAdd + tRenumber;
  std::printf(
      "%5d schedules: delete %9.1f ms  add %9.1f ms  renumber %8.1f ms  total %9.1f ms"
      "  (deleted %d, added %d, run ok: %s)\n"
      "       INI reads %ld (%.0f s of 5 ms pauses in a real run), INI writes %ld\n"
      "       one read: %.4f ms just after a change, %.4f ms on a settled file; one write %.3f ms\n"
      "       -> reads ~%.0f..%.0f ms, writes ~%.0f ms of the total\n",
      size, tDelete, tAdd, tRenumber, total, r.scheduleDeleted, r.scheduleAdded,
      r.success ? "yes" : "NO", reads, reads * 0.005, g_writes, readFresh, readSettled, perWrite,
      readSettled * reads, readFresh * reads, perWrite * g_writes);
  std::fflush(stdout);
  m::resetRunState();
  m::setProgramFolderForTest("");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {500, 1000, 2000};

  zuvoze::plat::setSleepHook([](uint32_t) { ++g_reads; });
  zuvoze::plat::setMutationHook([](const char* operation, const std::string&) {
    if (std::string(operation) == "profile") ++g_writes;
  });
  const fs::path root = fs::temp_directory_path() /
                        ("zuvoze-scheduler-bench-" + std::to_string(
                             Clock::now().time_since_epoch().count()));
  fs::create_directories(root);
  for (int size : sizes) benchSize(root, size);
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
