// Fire-list merge: a VELKMobile.ini of N entries beside other sections, 50
// deletions and 50 additions from the request files, then the regeneration.
// The fixed 5 ms pauses after every value read through fncReadINI are
// switched off, so the times are the merger's own (and the profile
// functions'); the pauses a real run would add are shown from their number.
// Every request is looked up through the whole list, so the lookups grow with
// N times the requests.
//
//   firelist_bench [N ...]      default: 100 250 500 1000
//
// Set TMPDIR to choose the file system the files live on.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "merger/env.h"
#include "merger/firelist.h"
#include "merger/runstate.h"
#include "bench_support.h"
#include "zuvoze/platform/faults.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"
#include "zuvoze/platform/sleep.h"
#include "zuvoze/platform/system.h"

namespace zm = zuvoze::merger;
namespace zp = zuvoze::plat;

namespace {

constexpr int kRequests = 50;

std::string entry(int n, int v) {
  const std::string e = "Exe" + std::to_string(n);
  return e + "=C:\\Program Files\\Agent\\tool" + std::to_string(v) + ".exe\r\n" + e + "TO=" +
         std::to_string(30 + v % 90) + "\r\n" + e + "PM=" + std::to_string(v % 2) + "\r\n";
}

struct Result {
  double deleteS = 0, addS = 0, regenS = 0, cpuS = 0;
  unsigned long long reads = 0, changes = 0;
  int added = 0, deleted = 0;
  std::string count;
};

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

Result runOnce(int n) {
  bench::BenchDir dir("firelist-bench");
  zm::resetRunState();
  zm::RunState& r = zm::run();
  r.installationPath = dir.path + "\\";
  r.success = true;
  r.nextNumberCounter = std::to_string(n);
  zm::setProgramFolderForTest(dir.path);

  std::string mobile = "[General]\r\nAgentName=Bench\r\n[DCConnURL]\r\n";
  for (const std::string& k : zm::mobileConnectionKeys()) mobile += k + "=value of " + k + "\r\n";
  mobile += "Exe2Fire=" + std::to_string(n) + "\r\n";
  for (int i = 1; i <= n; ++i) mobile += entry(i, i);
  mobile += "[ProxySettings]\r\nProxyIP=10.0.0.1\r\nProxyPort=8080\r\n";
  bench::writeOrDie(r.installationPath + "VELKMobile.ini", mobile);
  bench::writeOrDie(r.installationPath + "Bkp_VELKMobile.ini", mobile);

  // Deletions spread over the whole list; additions of new entries.
  std::string del = "[INI]\r\nVELKScheduler=0\r\nVELKDefaultExe=0\r\n[DCConnURL]\r\nExe2Fire=" +
                    std::to_string(kRequests) + "\r\n";
  std::string add = del;
  for (int k = 1; k <= kRequests; ++k) {
    del += entry(k, 1 + static_cast<int>(static_cast<long>(k - 1) * n / kRequests));
    add += entry(k, n + k);
  }
  bench::writeOrDie(zm::programFile("DeleteSection.ini"), del);
  bench::writeOrDie(zm::programFile("AddSection.ini"), add);
  r.log.open(r.installationPath + "Add_Delete_IniLog.txt", zp::TextStream::Mode::CreateOverwrite);

  Result res;
  zp::setSleepHook([&res](uint32_t) { ++res.reads; });
  zp::setMutationHook([&res](const char* op, const std::string&) {
    if (std::string(op) != "writeStream") ++res.changes;
  });
  const std::clock_t c0 = std::clock();
  auto t0 = std::chrono::steady_clock::now();
  zm::deleteMobile();
  res.deleteS = since(t0);
  t0 = std::chrono::steady_clock::now();
  zm::addMobile();
  res.addS = since(t0);
  t0 = std::chrono::steady_clock::now();
  zm::ReGenMobileFile();
  res.regenS = since(t0);
  res.cpuS = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
  zp::setSleepHook(nullptr);
  zp::setMutationHook(nullptr);

  res.added = r.fireAdded;
  res.deleted = r.fireDeleted;
  char buf[100] = {};
  zp::getPrivateProfileString("DCConnURL", "Exe2Fire", "", buf, sizeof buf,
                              r.installationPath + "VELKMobile.ini");
  res.count = buf;
  if (!r.success) std::printf("  (run failed: %s)\n", r.summary.c_str());
  zm::resetRunState();
  zm::setProgramFolderForTest("");
  return res;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {100, 250, 500, 1000};

  std::printf("fire-list merge, %d deletions + %d additions + regeneration, pauses off\n",
              kRequests, kRequests);
  std::printf("%6s %9s %9s %9s %9s %9s %9s %9s %10s %s\n", "N", "delete s", "add s", "regen s",
              "total s", "cpu s", "reads", "changes", "pauses s", "result");
  double previous = 0;
  for (int n : sizes) {
    Result r = runOnce(n);
    const double total = r.deleteS + r.addS + r.regenS;
    std::printf("%6d %9.2f %9.2f %9.2f %9.2f %9.2f %9llu %9llu %10.0f %d-%d, Exe2Fire %s", n,
                r.deleteS, r.addS, r.regenS, total, r.cpuS, r.reads, r.changes, r.reads * 0.005,
                r.deleted, r.added, r.count.c_str());
    if (previous > 0) std::printf("  (x%.2f)", total / previous);
    std::printf("\n");
    std::fflush(stdout);
    previous = total;
  }
  return 0;
}
