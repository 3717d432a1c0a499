// Options of the agent: defaults, each option, precedence, rejections and
// the exact texts.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "settings.h"

namespace localagent {
namespace {

// Runs ParseOptions and returns what it printed.
std::string Parse(Settings* s, const char* variable, std::vector<std::string> args,
                  ParseResult* result = nullptr) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  ParseResult r = ParseOptions(s, variable, args, "localagent", out);
  std::fclose(out);
  std::string printed(text, size);
  free(text);
  if (result != nullptr) *result = r;
  return printed;
}

TEST(SettingsTest, DefaultsWithoutOptions) {
  Settings s = DefaultSettings();
  ParseResult r;
  EXPECT_EQ(Parse(&s, nullptr, {}, &r), "");
  EXPECT_EQ(r, ParseResult::kOk);
  EXPECT_STREQ(s.address.service, "5000");
  EXPECT_STREQ(s.address.protocol, "tcp");
  EXPECT_EQ(s.address.port, 5000u);
  EXPECT_EQ(s.discovery_minutes, 10);
  EXPECT_EQ(s.reregister_seconds, 0);
  EXPECT_EQ(s.bind_retries, 1);
  EXPECT_FALSE(s.authority_check);
  EXPECT_FALSE(s.authentication);
  EXPECT_TRUE(s.qm_verification);
  EXPECT_TRUE(s.report_ip);
  EXPECT_EQ(s.use_dns, -1);
  EXPECT_EQ(s.group, "");
  EXPECT_EQ(s.qmgr_mask, "*");
  // The alias is the host name upper-cased.
  std::string host = s.address.host;
  for (char& c : host) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(s.alias, host);
}

TEST(SettingsTest, EachOptionSetsItsSetting) {
  struct Case {
    std::string token;
    bool (*check)(const Settings&);
  } cases[] = {
      {"-mGRP1", [](const Settings& s) { return s.group == "GRP1"; }},
      {"-nNODEX", [](const Settings& s) { return s.alias == "NODEX"; }},
      {"-Dexample.com", [](const Settings& s) { return s.dns_suffix == "example.com"; }},
      {"-QQM*", [](const Settings& s) { return s.qmgr_mask == "QM*"; }},
      {"-s6001", [](const Settings& s) {
         return std::string(s.address.service) == "6001" && s.address.port == 6001u; }},
      {"-v", [](const Settings& s) { return s.verify_only; }},
      {"-t", [](const Settings& s) { return s.trace; }},
      {"-x", [](const Settings& s) { return s.comm_trace; }},
      {"-e", [](const Settings& s) { return s.reuse_address; }},
      {"+u", [](const Settings& s) { return s.authority_check; }},
      {"+a", [](const Settings& s) { return s.authentication; }},
      {"-q", [](const Settings& s) { return !s.qm_verification; }},
      {"+z", [](const Settings& s) { return s.use_dns == 1; }},
      {"-z", [](const Settings& s) { return s.use_dns == 0; }},
      {"-i", [](const Settings& s) { return !s.report_ip; }},
      {"-r0", [](const Settings& s) { return s.bind_retries == 1; }},
      {"-r3", [](const Settings& s) { return s.bind_retries == 3; }},
      {"-d-5", [](const Settings& s) { return s.discovery_minutes == 10; }},
      {"-d0", [](const Settings& s) { return s.discovery_minutes == 0; }},
      {"-d7", [](const Settings& s) { return s.discovery_minutes == 7; }},
      {"-p2", [](const Settings& s) { return s.reregister_seconds == 120; }},
      {"-p-1", [](const Settings& s) { return s.reregister_seconds == 0; }},
      {"-console", [](const Settings& s) { return true; }},
      {"-INSTALL", [](const Settings& s) { return true; }},
      {"/remove", [](const Settings& s) { return true; }},
  };
  for (const Case& c : cases) {
    Settings s = DefaultSettings();
    ParseResult r;
    EXPECT_EQ(Parse(&s, nullptr, {c.token}, &r), "") << c.token;
    EXPECT_EQ(r, ParseResult::kOk) << c.token;
    EXPECT_TRUE(c.check(s)) << c.token;
  }
  // The "off" forms undo the "on" forms, the later one winning.
  Settings s = DefaultSettings();
  Parse(&s, nullptr, {"-v", "+v", "-t", "+t", "-x", "+x", "-e", "+e", "+u", "-u", "+a", "-a",
                      "-q", "+q", "-i", "+i"});
  EXPECT_FALSE(s.verify_only || s.trace || s.comm_trace || s.reuse_address ||
               s.authority_check || s.authentication);
  EXPECT_TRUE(s.qm_verification && s.report_ip);
}

TEST(SettingsTest, RejectedOptionsAreReportedAndIgnored) {
  struct Case {
    std::string token;
    std::string extra;  // printed before the rejection line
  } cases[] = {
      {"-m", ""},            // no value
      {"-r", ""},
      {"-rx", ""},           // not a number
      {"-r5x", ""},          // something after the number
      {"-d99999999999", ""}, // out of range
      {"-p99999999", ""},    // minutes that overflow seconds
      {"-k", ""},
      {"-kvalue", ""},
      {"v", ""},
      {"+t1", ""},
      {"-mAVERYLONGGROUPNAMETHATDOESNOTFIT1", ""},
      {"-sno-such-service-name", "No TCP port or service named \"no-such-service-name\"\n"},
      {"-s70000", "No TCP port or service named \"70000\"\n"},
      {"-s0", "No TCP port or service named \"0\"\n"},
  };
  for (const Case& c : cases) {
    Settings s = DefaultSettings();
    Settings before = s;
    ParseResult r;
    EXPECT_EQ(Parse(&s, nullptr, {c.token}, &r),
              c.extra + "Invalid command line option \"" + c.token +
                  "\"\nUnrecognized parameters have been ignored\n\n")
        << c.token;
    EXPECT_EQ(r, ParseResult::kSome);
    EXPECT_EQ(s.group, before.group);
    EXPECT_EQ(s.bind_retries, before.bind_retries);
    EXPECT_EQ(s.discovery_minutes, before.discovery_minutes);
    EXPECT_STREQ(s.address.service, "5000");
    EXPECT_EQ(s.address.port, 5000u);
  }
}

TEST(SettingsTest, ServiceNamesResolveToTheirPort) {
  // "ftp" is in every services file (netbase).
  Settings s = DefaultSettings();
  ParseResult r;
  EXPECT_EQ(Parse(&s, nullptr, {"-sftp"}, &r), "");
  EXPECT_STREQ(s.address.service, "ftp");
  EXPECT_EQ(s.address.port, 21u);
}

TEST(SettingsTest, VariableFirstThenCommandLine) {
  Settings s = DefaultSettings();
  ParseResult r;
  std::string printed =
      Parse(&s, "-mFROMVAR;-d3, -p1 -bad,,-t", {"-mFROMLINE", "-worse"}, &r);
  EXPECT_EQ(printed,
            "Invalid environment option: \"-bad\"\n"
            "Invalid command line option \"-worse\"\n"
            "Unrecognized parameters have been ignored\n\n");
  EXPECT_EQ(s.group, "FROMLINE");
  EXPECT_EQ(s.discovery_minutes, 3);
  EXPECT_EQ(s.reregister_seconds, 60);
  EXPECT_TRUE(s.trace);
}

TEST(SettingsTest, QuestionMarkPrintsUsage) {
  for (const char* token : {"?", "-?"}) {
    for (bool in_variable : {false, true}) {
      Settings s = DefaultSettings();
      ParseResult r;
      std::string printed = in_variable ? Parse(&s, token, {}, &r) : Parse(&s, nullptr, {token}, &r);
      EXPECT_EQ(r, ParseResult::kUsage);
      EXPECT_EQ(printed.rfind("Usage: localagent \n", 0), 0u) << printed;
      const std::string last = "    [-D<name.com>] -- DNS name to create fully qualified host name\n";
      ASSERT_GE(printed.size(), last.size());
      EXPECT_EQ(printed.substr(printed.size() - last.size()), last);
    }
  }
}

TEST(SettingsTest, StartupDumpLines) {
  Settings s = DefaultSettings();
  Parse(&s, nullptr, {"-s5001", "-mG1", "-nN1", "-QQ*", "-t", "+a", "-e", "-i", "-r4", "-d0", "-q",
                      "-p3"});
  s.install_dir = "/opt/x/";
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  PrintStartupDump(s, out);
  std::fclose(out);
  EXPECT_EQ(std::string(text, size),
            "\nLocal Manager Startup parameters:\n"
            "  PORT(5001)\n"
            "  GROUP(G1)\n"
            "  ALIAS_NODE(N1)\n"
            "  QMGR_MASK(Q*)\n"
            "  TRACE(ON)\n"
            "  AUTHORIZATION(OFF)\n"
            "  AUTHENTICATION(ON)\n"
            "  VERIFY(OFF)\n"
            "  REUSE_ADDR(ON)\n"
            "  REPORT_IP(OFF)\n"
            "  BIND_RETRIES(4)\n"
            "  DEF_DISCOVERY(0 min)\n"
            "  DISABLE QMGR CONFIGURATION TEST\n"
            "  HARROWLINE_INSTALL(/opt/x/)\n"
            "  GROUPMGR_REG_RETRY(3 min)\n"
            "\n");
  free(text);
  EXPECT_EQ(LogFilePath(s), "/opt/x/G1_N1.log");
}

}  // namespace
}  // namespace localagent
