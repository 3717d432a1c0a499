// The option parser and the limits of a group record, as tables of cases.
#include <gtest/gtest.h>

#include "options.h"
#include "server_state.h"

namespace grpserver {
namespace {

struct OptionCase {
  const char* name;
  const char* env;                 // null: variable not set
  std::vector<std::string> args;
  bool console;
  ParseResult result;
  std::string group;
  std::string alias;
  int buffer_bytes;
  int refresh;
  bool user_authority, authentication, protocol_trace, communication_trace, authorization_trace;
};

TEST(GroupOptions, TableOfCases) {
  const OptionCase cases[] = {
      {"console without -m", nullptr, {}, true, ParseResult::kNoGroup, "", kDefaultAlias, 0, 10,
       false, false, false, false, false},
      {"service mode is MQSERIES", nullptr, {}, false, ParseResult::kGroupKnown, "MQSERIES", kDefaultAlias, 0, 10,
       false, false, false, false, false},
      {"service mode takes -m", nullptr, {"-mG9"}, false, ParseResult::kGroupKnown, "G9", kDefaultAlias, 0, 10,
       false, false, false, false, false},
      {"-r0 means never", nullptr, {"-mG", "-r0"}, true, ParseResult::kGroupKnown, "G", kDefaultAlias, 0, 9999999,
       false, false, false, false, false},
      {"negative refresh means never", nullptr, {"-mG", "-r-3"}, true, ParseResult::kGroupKnown, "G",
       kDefaultAlias, 0, 9999999, false, false, false, false, false},
      {"-i64 is 65536 bytes", nullptr, {"-mG", "-i64"}, true, ParseResult::kGroupKnown, "G", kDefaultAlias, 65536,
       10, false, false, false, false, false},
      {"-i-5 is ignored", nullptr, {"-mG", "-i-5"}, true, ParseResult::kGroupKnown, "G", kDefaultAlias, 0, 10,
       false, false, false, false, false},
      {"-i that would overflow is ignored", nullptr, {"-mG", "-i99999999999"}, true, ParseResult::kGroupKnown, "G",
       kDefaultAlias, 0, 10, false, false, false, false, false},
      {"case counts: +U is nothing", nullptr, {"-mG", "+U", "+A"}, true, ParseResult::kGroupKnown, "G",
       kDefaultAlias, 0, 10, false, false, false, false, false},
      {"trace kinds", nullptr, {"-mG", "-t", "-tc", "-tu"}, true, ParseResult::kGroupKnown, "G", kDefaultAlias, 0,
       10, false, false, true, true, true},
      {"-tx is the protocol trace", nullptr, {"-mG", "-tx"}, true, ParseResult::kGroupKnown, "G", kDefaultAlias, 0,
       10, false, false, true, false, false},
      {"variable split at ; , and blanks", "-mVG;+u,+a -nV.ALIAS", {}, true, ParseResult::kGroupKnown, "VG",
       "V.ALIAS", 0, 10, true, true, false, false, false},
      {"command line wins", "-mVG;+u;-i8;-nV", {"-mCG", "-u", "-i16"}, true, ParseResult::kGroupKnown, "CG", "V",
       16384, 10, false, false, false, false, false},
      {"-? in the variable stops at once", "-?", {"-mG"}, true, ParseResult::kHelp, "", kDefaultAlias, 0, 10, false,
       false, false, false, false},
      {"-? on the command line", nullptr, {"-mG", "-?"}, true, ParseResult::kHelp, "G", kDefaultAlias, 0, 10, false,
       false, false, false, false},
      {"unknown tokens are ignored", nullptr, {"-mG", "-z", "x", "-"}, true, ParseResult::kGroupKnown, "G",
       kDefaultAlias, 0, 10, false, false, false, false, false},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    GroupOptions o;
    EXPECT_EQ(ParseGroupOptions(c.env, c.args, c.console, &o), c.result);
    if (c.result == ParseResult::kHelp) continue;
    EXPECT_EQ(o.group, c.group);
    EXPECT_EQ(o.alias, c.alias);
    EXPECT_EQ(o.buffer_bytes, c.buffer_bytes);
    EXPECT_EQ(o.refresh_interval_s, c.refresh);
    EXPECT_EQ(o.user_authority, c.user_authority);
    EXPECT_EQ(o.authentication, c.authentication);
    EXPECT_EQ(o.protocol_trace, c.protocol_trace);
    EXPECT_EQ(o.communication_trace, c.communication_trace);
    EXPECT_EQ(o.authorization_trace, c.authorization_trace);
  }
}

TEST(GroupLimits, OneDefinitionOfTheRangesWithClampedValues) {
  struct Case {
    long long clients, nodes, qmgrs;
    int want_clients, want_nodes, want_qmgrs, first_node, threads, total;
  };
  const Case cases[] = {
      {10, 5, 4, 10, 5, 4, 11, 20, 36},
      // Zero, negative or missing values take the defaults, not an empty range.
      {0, 0, 0, 50, 255, 10, 51, 2550, 2856},
      {-7, -1, -3, 50, 255, 10, 51, 2550, 2856},
      // Huge values take the ceilings.
      {999, 999, 999, 999, 300, 64, 1000, 19200, 20500},
      {1, 1, 1, 1, 1, 1, 2, 1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.clients) + "/" + std::to_string(c.nodes) + "/" + std::to_string(c.qmgrs));
    Limits l = ComputeLimits(c.clients, c.nodes, c.qmgrs);
    EXPECT_EQ(l.max_group_clients, c.want_clients);
    EXPECT_EQ(l.max_managed_nodes, c.want_nodes);
    EXPECT_EQ(l.max_q_mgrs_per_node, c.want_qmgrs);
    EXPECT_EQ(l.first_node_entry, c.first_node);
    EXPECT_EQ(l.max_qmgr_threads, c.threads);
    EXPECT_EQ(l.max_total_conns, c.total);
    // Node entries fill the table from the first node entry to the end mark.
    EXPECT_EQ(l.node_entry_count, l.max_qmgr_threads + l.max_managed_nodes);
    EXPECT_EQ(l.first_node_entry + l.node_entry_count, l.max_total_conns);
  }
}

}  // namespace
}  // namespace grpserver
