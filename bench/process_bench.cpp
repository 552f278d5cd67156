// Process table merge: a table of N processes, 100 deletions and 100
// additions from the request files, then the renumbering; the fixed 5 ms
// pauses after every value read are switched off, so the times are the
// merger's own (and the profile functions'). The pauses a real run would add
// are shown from the number of reads.
//
//   process_bench [N ...]      default: 250 500 1000
//
// Set TMPDIR to choose the file system the tables live on.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "merger/process.h"
#include "merger/runstate.h"
#include "bench_support.h"
#include "zuvoze/platform/faults.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/platform/system.h"

namespace zm = zuvoze::merger;
namespace zp = zuvoze::plat;

namespace {

constexpr int kRequests = 100;

std::string processKeys(const std::string& app, const std::string& exe, int i, bool inTable) {
  std::string s = "ApplicationName=" + app + "\r\nDescription=process number " + std::to_string(i) +
                  "\r\nProcessName=" + exe + "\r\nParameter=-id " + std::to_string(i) + "\r\n";
  if (inTable) s += "WorkingDir=\r\n";
  s += "Days=1234567\r\nType=" + std::to_string(i % 3 + 1) + "\r\nMinAge=" + std::to_string(i % 7) +
       "\r\nExpectedTime=" + std::to_string(30 + i % 90) + "\r\n";
  if (inTable) s += "Display=Yes\r\n";
  return s;
}

std::string appName(int i) { return "Application " + std::to_string(i); }
std::string exeName(int i) { return "proc" + std::to_string(i) + ".exe"; }

struct Result {
  double deleteS = 0, addS = 0, renumberS = 0, cpuS = 0;
  uint64_t reads = 0, changes = 0;
  int added = 0, deleted = 0, count = 0;
};

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

Result runOnce(int n) {
  bench::BenchDir dir("process-bench");
  zm::resetRunState();
  zm::RunState& r = zm::run();
  r.installationPath = dir.path + "\\";
  r.success = true;

  std::string table = "[Settings]\r\nProcessCount=" + std::to_string(n) + "\r\n";
  for (int i = 1; i <= n; ++i)
    table += "[Process" + std::to_string(i) + "]\r\n" + processKeys(appName(i), exeName(i), i, true);
  bench::writeOrDie(zm::processTableFile(), table);
  bench::writeOrDie(zm::processBackupFile(), table);

  // Deletions spread over the whole table; additions of new processes.
  std::string del = "[INI]\r\nVELKScheduler=0\r\nVELKDefaultExe=" + std::to_string(kRequests) + "\r\n";
  for (int k = 0; k < kRequests; ++k) {
    int i = 1 + static_cast<int>(static_cast<long>(k) * n / kRequests);
    del += "[D" + std::to_string(k) + "]\r\n" + processKeys(appName(i), exeName(i), i, false);
  }
  std::string add = "[INI]\r\nVELKScheduler=0\r\nVELKDefaultExe=" + std::to_string(kRequests) + "\r\n";
  for (int k = 0; k < kRequests; ++k) {
    int i = n + 1 + k;
    add += "[A" + std::to_string(k) + "]\r\n" + processKeys(appName(i), exeName(i), i, false);
  }
  const std::string delFile = r.installationPath + "DeleteSection.ini";
  const std::string addFile = r.installationPath + "AddSection.ini";
  bench::writeOrDie(delFile, del);
  bench::writeOrDie(addFile, add);
  r.log.open(r.installationPath + "Add_Delete_IniLog.txt", zp::TextStream::Mode::CreateOverwrite);

  Result res;
  zp::setSleepHook([&res](uint32_t) { ++res.reads; });
  zp::setMutationHook([&res](const char* op, const std::string&) {
    if (std::string(op) != "writeStream") ++res.changes;
  });
  const std::clock_t c0 = std::clock();
  auto t0 = std::chrono::steady_clock::now();
  zm::deleteDefaultExeSectionFrom(delFile);
  res.deleteS = since(t0);
  t0 = std::chrono::steady_clock::now();
  zm::addDefaultExeSectionFrom(addFile);
  res.addS = since(t0);
  t0 = std::chrono::steady_clock::now();
  zm::ReGenDefaultExeFile();
  res.renumberS = since(t0);
  res.cpuS = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
  zp::setSleepHook(nullptr);
  zp::setMutationHook(nullptr);

  res.added = r.processAdded;
  res.deleted = r.processDeleted;
  std::string out;
  zp::readTextFile(zm::processTableFile(), &out);
  size_t pos = out.find("ProcessCount=");
  res.count = pos == std::string::npos ? -1 : std::atoi(out.c_str() + pos + 13);
  if (!r.success) std::printf("  (run failed: %s)\n", r.summary.c_str());
  zm::resetRunState();
  return res;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {250, 500, 1000};

  std::printf("process table merge, %d deletions + %d additions + renumbering, pauses off\n",
              kRequests, kRequests);
  std::printf("%6s %9s %9s %9s %9s %9s %9s %9s %10s %s\n", "N", "delete s", "add s", "renum s",
              "total s", "cpu s", "reads", "changes", "pauses s", "result");
  double previous = 0;
  for (int n : sizes) {
    Result r = runOnce(n);
    const double total = r.deleteS + r.addS + r.renumberS;
    std::printf("%6d %9.2f %9.2f %9.2f %9.2f %9.2f %9llu %9llu %10.0f %d-%d, count %d", n,
                r.deleteS, r.addS, r.renumberS, total, r.cpuS,
                static_cast<unsigned long long>(r.reads),
                static_cast<unsigned long long>(r.changes), r.reads * 0.005, r.deleted, r.added,
                r.count);
    if (previous > 0) std::printf("  (x%.2f)", total / previous);
    std::printf("\n");
    std::fflush(stdout);
    previous = total;
  }
  return 0;
}
