// The recorder run in-process with the management service, the version call,
// the message box and (for the failure cases) the registry replaced: what ends
// up in SOFTWARE\VelkVersion, how often each value is written, and the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "osstamp/modVersion.h"
#include "zuvoze/platform/clock.h"
#include "zuvoze/platform/files.h"
#include "zuvoze/platform/msgbox.h"
#include "zuvoze/platform/osquery.h"
#include "zuvoze/platform/osversion.h"
#include "zuvoze/platform/system.h"
#include "zuvoze/testsupport.h"

namespace {

namespace plat = zuvoze::plat;
namespace os = zuvoze::osstamp;
using zuvoze::testing::TempDir;
using zuvoze::testing::TestRegistry;

const char* const kStamp = "03/07/26 02:05:09 PM";
const char* const kEquals = "====================================================================";
const char* const kKey = "SOFTWARE\\VelkVersion";

enum class Query { Unavailable, Instances };

struct Case {
  const char* name;
  Query query;
  std::vector<plat::OsInstance> instances;
  bool versionFails;
  uint32_t major, minor;
  const char* version;  // expected strVersion
  const char* osName;   // expected strOSName
  int writes;           // how often each value is written
  bool messageBox;
  std::vector<std::string> log;  // expected messages, each with its own TAB
};

std::vector<std::string> registryEntries() {
  return {"\tMSG : lngRetVal :0", "\tMSG : Registry Folder Created -VelkVersion ",
          "\tMSG : Registry Key  strVersion Created Sucessfully",
          "\tMSG : Registry Key  strOSName Created Sucessfully"};
}

std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const std::vector<std::string> kStart = {"\tMSG : Application Strated...", kEquals,
                                         "\tMSG : Calling Function fncGetWMIVersion "};
const std::vector<std::string> kStop = {"\tMSG :Application Stopped !!!  "};
const char* const kWmiError = "\tERR: Error In Function fncGetWMIVersion :";
const int32_t kUnavailable = static_cast<int32_t>(0x80070422u);
const char* const kUnavailableText = "The service cannot be started";

std::vector<std::string> fallback(const std::string& error, std::vector<std::string> api) {
  return join({{error, "\tMSG : Calling fncGetAPIVersion Function "}, api,
               {"\tMSG : Calling fncCreateRegistry Function "}, registryEntries()});
}

std::vector<std::string> apiAnswer(const std::string& version, const std::string& osName) {
  return {"\tMSG: ret& : 1", "\tMSG: strVersion In fncGetAPIVersion Function :" + version,
          "\tMSG: strOSName In fncGetAPIVersion Function :" + osName};
}

const std::string kUnavailableEntry =
    std::string(kWmiError) + std::to_string(kUnavailable) + kUnavailableText;

class Recorder : public ::testing::Test {
 protected:
  void SetUp() override {
    os::resetState();
    // HKLM\SOFTWARE always exists on Windows; a fresh posix store needs it made.
    plat::RegKey k = 0;
    ASSERT_EQ(plat::regCreateKey(plat::hklm(), "SOFTWARE", plat::RegView::Default, &k), 0u);
    plat::regCloseKey(k);
    os::state().logFolder = dir.path();
    plat::setClockForTest([] {
      plat::LocalTime t;
      t.year = 2026, t.month = 3, t.day = 7, t.hour = 14, t.minute = 5, t.second = 9;
      return t;
    });
    plat::setMessageBoxForTest([this](const std::string& text, const std::string& title) {
      boxes.push_back(text);
      EXPECT_EQ(title, plat::programName());
    });
    // The real registry calls, counted.
    os::RegistryCalls real = os::systemRegistryCalls();
    os::RegistryCalls& calls = os::state().registry;
    calls.open = [this, real](plat::RegKey p, const std::string& s, plat::RegKey* out) {
      uint32_t rc = real.open(p, s, out);
      if (rc == 0) ++openKeys[*out], ++opens;
      return rc;
    };
    calls.create = [this, real](plat::RegKey p, const std::string& s, plat::RegKey* out) {
      uint32_t rc = real.create(p, s, out);
      if (rc == 0) ++openKeys[*out], ++opens;
      return rc;
    };
    calls.setString = [this, real](plat::RegKey key, const std::string& n, const std::string& t) {
      ++writes[n];
      return real.setString(key, n, t);
    };
    calls.close = [this, real](plat::RegKey key) {
      ++closedKeys[key];
      real.close(key);
    };
  }
  void TearDown() override {
    os::resetState();
    plat::setOsQueryForTest(nullptr);
    plat::setOsVersionForTest(nullptr);
    plat::setMessageBoxForTest(nullptr);
    plat::setClockForTest(nullptr);
  }

  std::string logPath() const { return dir.path() + "\\" + plat::programName() + "_Log.txt"; }

  // The log's lines, each checked for the stamp and the TAB; the equals line is plain.
  std::vector<std::string> logMessages() {
    std::vector<std::string> lines, messages;
    EXPECT_EQ(plat::readLines(logPath(), &lines), 0u);
    std::string raw;
    EXPECT_EQ(plat::readTextFile(logPath(), &raw), 0u);
    EXPECT_TRUE(raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\r\n") == 0) << "CR LF line ends";
    for (const std::string& l : lines) {
      if (l == kEquals) {
        messages.push_back(l);
        continue;
      }
      const std::string prefix = std::string(kStamp) + "\t";
      EXPECT_EQ(l.compare(0, prefix.size(), prefix), 0) << l;
      messages.push_back(l.substr(l.size() < prefix.size() ? l.size() : prefix.size()));
    }
    return messages;
  }

  TempDir dir;
  TestRegistry reg{{kKey}};
  std::vector<std::string> boxes;
  std::map<std::string, int> writes;
  std::map<plat::RegKey, int> openKeys, closedKeys;
  int opens = 0;
};

TEST_F(Recorder, ValuesWritesAndLogOfEachAnswer) {
  const std::vector<Case> cases = {
      {"service answers", Query::Instances, {{"Example OS", "6.3.9600"}}, false, 0, 0, "6.3",
       "Example OS", 1, false,
       join({kStart, {"\tMSG : strOSName :Example OS", "\tMSG : strVersion :6.3"},
             {"\tMSG :  6.3Example OS"}, registryEntries(), kStop})},
      {"ten has two digits before the build", Query::Instances,
       {{"Microsoft Windows 10 Pro", "10.0.19045"}}, false, 0, 0, "10.0",
       "Microsoft Windows 10 Pro", 1, false,
       join({kStart, {"\tMSG : strOSName :Microsoft Windows 10 Pro", "\tMSG : strVersion :10.0"},
             {"\tMSG :  10.0Microsoft Windows 10 Pro"}, registryEntries(), kStop})},
      {"unavailable, XP by the version call", Query::Unavailable, {}, false, 5, 1, "5.1",
       "Microsoft Windows XP", 2, false,
       join({kStart, fallback(kUnavailableEntry, apiAnswer("5.1", "Microsoft Windows XP")),
             {"\tMSG :  5.1Microsoft Windows XP"}, registryEntries(), kStop})},
      {"unavailable, 6.1 is not in the table", Query::Unavailable, {}, false, 6, 1, "6.1", "", 2,
       false,
       join({kStart, fallback(kUnavailableEntry, apiAnswer("6.1", "")), {"\tMSG :  6.1"},
             registryEntries(), kStop})},
      {"no instance", Query::Instances, {}, false, 5, 1, "", "", 1, false,
       join({kStart, {"\tMSG :  "}, registryEntries(), kStop})},
      {"version call fails too", Query::Unavailable, {}, true, 0, 0, "", "", 2, true,
       join({kStart, fallback(kUnavailableEntry, {"\tMSG: ret& : 0"}), {"\tMSG :  "},
             registryEntries(), kStop})},
      {"version without a dot keeps the caption", Query::Instances, {{"Odd OS", "7"}}, false, 6, 2,
       "6.2", "Odd OS", 2, false,
       join({kStart, {"\tMSG : strOSName :Odd OS"},
             fallback(std::string(kWmiError) + "9Subscript out of range", apiAnswer("6.2", "Odd OS")),
             {"\tMSG :  6.2Odd OS"}, registryEntries(), kStop})},
      {"the table replaces a caption", Query::Instances, {{"Odd OS", ""}}, false, 5, 2, "5.2",
       "Microsoft Windows 2003", 2, false,
       join({kStart, {"\tMSG : strOSName :Odd OS"},
             fallback(std::string(kWmiError) + "9Subscript out of range",
                      apiAnswer("5.2", "Microsoft Windows 2003")),
             {"\tMSG :  5.2Microsoft Windows 2003"}, registryEntries(), kStop})},
      {"two instances, the last one stays", Query::Instances,
       {{"First OS", "5.0.2195"}, {"Second OS", "6.0.6002"}}, false, 0, 0, "6.0", "Second OS", 1,
       false,
       join({kStart,
             {"\tMSG : strOSName :First OS", "\tMSG : strVersion :5.0", "\tMSG : strOSName :Second OS",
              "\tMSG : strVersion :6.0"},
             {"\tMSG :  6.0Second OS"}, registryEntries(), kStop})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    writes.clear();
    openKeys.clear();
    closedKeys.clear();
    opens = 0;
    os::state().strVersion.clear();
    os::state().strOSName.clear();
    plat::regDeleteTree(plat::hklm(), kKey, plat::RegView::Default);
    plat::setOsQueryForTest([&c](std::vector<plat::OsInstance>* out) {
      plat::OsQueryError e;
      if (c.query == Query::Unavailable) {
        e.number = kUnavailable;
        e.description = kUnavailableText;
      } else {
        *out = c.instances;
      }
      return e;
    });
    int versionCalls = 0;
    plat::setOsVersionForTest([&c, &versionCalls](plat::OsVersion* v) -> uint32_t {
      ++versionCalls;
      if (c.versionFails) return 87;
      v->major = c.major;
      v->minor = c.minor;
      return 0;
    });

    os::Main();

    EXPECT_EQ(reg.getString(kKey, "strVersion"), c.version);
    EXPECT_EQ(reg.getString(kKey, "strOSName"), c.osName);
    EXPECT_EQ(writes["strVersion"], c.writes);
    EXPECT_EQ(writes["strOSName"], c.writes);
    EXPECT_EQ(versionCalls, c.writes == 2 ? 1 : 0);
    EXPECT_EQ(boxes, c.messageBox ? std::vector<std::string>{"Error Getting Version Information"}
                                  : std::vector<std::string>{});
    EXPECT_EQ(logMessages(), c.log);
    EXPECT_EQ(openKeys, closedKeys) << "every key opened is closed once";
    EXPECT_EQ(opens, 2 * c.writes);
  }
}

TEST_F(Recorder, VersionTableByExactText) {
  const struct {
    uint32_t major, minor;
    const char* name;
  } rows[] = {{4, 0, "Microsoft Windows NT"},   {5, 0, "Microsoft Windows 2000"},
              {5, 1, "Microsoft Windows XP"},   {5, 2, "Microsoft Windows 2003"},
              {6, 0, "Microsoft Windows Vista"}, {6, 1, "Before"},
              {10, 0, "Before"},                 {5, 10, "Before"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.major) + "." + std::to_string(r.minor));
    os::resetState();
    os::state().logFolder = dir.path();
    os::state().strOSName = "Before";
    plat::setOsVersionForTest([&r](plat::OsVersion* v) -> uint32_t {
      v->major = r.major;
      v->minor = r.minor;
      return 0;
    });
    os::fncGetAPIVersion();
    EXPECT_EQ(os::state().strVersion, std::to_string(r.major) + "." + std::to_string(r.minor));
    EXPECT_EQ(os::state().strOSName, r.name);
  }
}

// Registry steps that fail: what is still attempted, the entries, and that each
// key that was opened is closed once (fake calls, nothing reaches the registry).
TEST_F(Recorder, RegistryFailures) {
  const char* const kErr = "\tERR: Error In fncCreateRegistry Function :5";
  const struct {
    const char* name;
    uint32_t openRc, createRc, versionRc;
    int sets;
    std::vector<std::string> entries;
  } cases[] = {
      {"SOFTWARE cannot be opened", 5, 0, 0, 0, {"\tMSG : lngRetVal :5"}},
      {"subkey cannot be created", 0, 5, 0, 0, {"\tMSG : lngRetVal :0", kErr}},
      {"strVersion cannot be set", 0, 0, 5, 2,
       {"\tMSG : lngRetVal :0", "\tMSG : Registry Folder Created -VelkVersion ", kErr,
        "\tMSG : Registry Key  strOSName Created Sucessfully"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    os::resetState();
    os::state().logFolder = dir.path();
    os::subOpenLog();
    std::vector<plat::RegKey> opened, closed;
    int sets = 0;
    os::RegistryCalls& calls = os::state().registry;
    calls.open = [&](plat::RegKey, const std::string& s, plat::RegKey* out) {
      EXPECT_EQ(s, "SOFTWARE");
      if (c.openRc != 0) return c.openRc;
      *out = 101;
      opened.push_back(101);
      return 0u;
    };
    calls.create = [&](plat::RegKey parent, const std::string& s, plat::RegKey* out) {
      EXPECT_EQ(parent, 101u);
      EXPECT_EQ(s, "VelkVersion");
      if (c.createRc != 0) return c.createRc;
      *out = 102;
      opened.push_back(102);
      return 0u;
    };
    calls.setString = [&](plat::RegKey key, const std::string& n, const std::string&) {
      EXPECT_EQ(key, 102u);
      ++sets;
      return n == "strVersion" ? c.versionRc : 0u;
    };
    calls.close = [&](plat::RegKey key) { closed.push_back(key); };

    os::fncCreateRegistry();
    os::state().log.close();

    EXPECT_EQ(sets, c.sets);
    std::sort(opened.begin(), opened.end());
    std::sort(closed.begin(), closed.end());
    EXPECT_EQ(closed, opened);
    std::vector<std::string> messages = logMessages();
    ASSERT_EQ(messages.size(), c.entries.size());
    for (size_t i = 0; i < messages.size(); ++i) {
      // An error entry carries the code and then the system's description.
      EXPECT_EQ(messages[i].compare(0, c.entries[i].size(), c.entries[i]), 0) << messages[i];
      if (c.entries[i] == kErr) {
        EXPECT_GT(messages[i].size(), c.entries[i].size()) << "description follows the code";
      } else {
        EXPECT_EQ(messages[i], c.entries[i]);
      }
    }
  }
}

TEST_F(Recorder, SecondRunOverwritesTheLog) {
  plat::setOsQueryForTest([](std::vector<plat::OsInstance>* out) {
    out->push_back({"Example OS", "6.3.9600"});
    return plat::OsQueryError{};
  });
  os::Main();
  os::Main();
  std::vector<std::string> messages = logMessages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "\tMSG : Application Strated..."), 1);
  EXPECT_EQ(messages.front(), "\tMSG : Application Strated...");
  EXPECT_EQ(messages.back(), "\tMSG :Application Stopped !!!  ");
}

// A log that cannot be created does not stop the run: the values are recorded.
TEST_F(Recorder, RunsOnWithoutALog) {
  os::state().logFolder = dir.path() + "\\missing folder";
  plat::setOsQueryForTest([](std::vector<plat::OsInstance>* out) {
    out->push_back({"Example OS", "6.3.9600"});
    return plat::OsQueryError{};
  });
  os::Main();
  EXPECT_EQ(reg.getString(kKey, "strVersion"), "6.3");
  EXPECT_EQ(reg.getString(kKey, "strOSName"), "Example OS");
  EXPECT_EQ(writes["strVersion"], 1);
  EXPECT_FALSE(plat::fileExists(dir.path() + "\\missing folder\\" + plat::programName() + "_Log.txt"));
}

}  // namespace
