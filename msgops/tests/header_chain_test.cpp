// The header chain walker: every chain the Formats can describe, and every
// way the bytes can fail to back a Format up.
#include <gtest/gtest.h>

#include <cstring>
#include <msgops/protocol.h>

#include "header_chain.h"
#include "message_bytes.h"

namespace msgops {
namespace {

using msgops_test::Dlh;
using msgops_test::Mde;
using msgops_test::PutInt;
using msgops_test::Xqh;

MQMD MdWithFormat(const char* format) {
  MQMD md{};
  std::memcpy(md.StrucId, "MD  ", 4);
  md.Version = 2;
  std::memcpy(md.Format, format, 8);
  return md;
}

struct ChainCase {
  const char* name;
  const char* md_format;
  std::string data;
  MQLONG flags;
  size_t header_length;
  bool mde, xqh, dlh;
  const char* data_format;
};

TEST(HeaderChainTest, WalksOnlyHeadersThatAreReallyThere) {
  const std::string payload = "application data";
  std::string short_dlh = Dlh("Q", "QM", "MQSTR   ").substr(0, 171);
  std::string dlh_version_9 = Dlh("Q", "QM", "MQSTR   ");
  PutInt(dlh_version_9, 4, 9);
  std::string xqh_version_2 = Xqh("RQ", "RQM", "MQSTR   ");
  PutInt(xqh_version_2, 4, 2);
  const ChainCase cases[] = {
      {"plain string", "MQSTR   ", payload, 1, 0, false, false, false, "MQSTR   "},
      {"dead letter", "MQDEAD  ", Dlh("Q", "QM", "MQSTR   ") + payload, 3, 172, false, false, true, "MQSTR   "},
      {"claims MQDEAD without a header", "MQDEAD  ", payload, 1, 0, false, false, false, "MQDEAD  "},
      {"dead-letter header one byte short", "MQDEAD  ", short_dlh, 1, 0, false, false, false, "MQDEAD  "},
      {"dead-letter header of an unknown version", "MQDEAD  ", dlh_version_9 + payload, 1, 0, false, false, false, "MQDEAD  "},
      {"empty data claiming MQDEAD", "MQDEAD  ", "", 1, 0, false, false, false, "MQDEAD  "},
      {"transmission header", "MQXMIT  ", Xqh("RQ", "RQM", "MQSTR   ") + payload, 13, 428, false, true, false, "MQSTR   "},
      {"transmission then dead letter", "MQXMIT  ",
       Xqh("RQ", "RQM", "MQDEAD  ") + Dlh("Q", "QM", "MQSTR   ") + payload, 15, 600, false, true, true, "MQSTR   "},
      {"transmission says MQDEAD but the header is missing", "MQXMIT  ", Xqh("RQ", "RQM", "MQDEAD  ") + payload, 13,
       428, false, true, false, "MQDEAD  "},
      {"transmission header of version 2", "MQXMIT  ", xqh_version_2 + payload, 1, 0, false, false, false, "MQXMIT  "},
      {"extension then dead letter", "MQHMDE  ", Mde("MQDEAD  ") + Dlh("Q", "QM", "MQSTR   ") + payload, 19, 244, true,
       false, true, "MQSTR   "},
      {"extension, transmission, dead letter", "MQHMDE  ",
       Mde("MQXMIT  ") + Xqh("RQ", "RQM", "MQDEAD  ") + Dlh("Q", "QM", "MQSTR   ") + payload, 31, 672, true, true, true,
       "MQSTR   "},
      {"extension with a length it does not have", "MQHMDE  ", Mde("MQSTR   ", 4000) + payload, 1, 0, false, false,
       false, "MQHMDE  "},
      {"extension claimed, too few bytes", "MQHMDE  ", Mde("MQSTR   ").substr(0, 40), 1, 0, false, false, false,
       "MQHMDE  "},
      {"extension alone", "MQHMDE  ", Mde("MQSTR   ") + payload, 17, 72, true, false, false, "MQSTR   "},
      {"dead-letter bytes under a string format", "MQSTR   ", Dlh("Q", "QM", "MQSTR   "), 1, 0, false, false, false,
       "MQSTR   "},
  };
  for (const ChainCase& c : cases) {
    SCOPED_TRACE(c.name);
    MQMD md = MdWithFormat(c.md_format);
    std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(c.data.data()), c.data.size());
    HeaderChain chain = WalkHeaderChain(md, data);
    EXPECT_EQ(chain.flags, c.flags);
    EXPECT_EQ(chain.header_length, c.header_length);
    EXPECT_EQ(chain.mde.has_value(), c.mde);
    EXPECT_EQ(chain.xqh.has_value(), c.xqh);
    EXPECT_EQ(chain.dlh.has_value(), c.dlh);
    EXPECT_EQ(std::string(chain.data_format, 8), c.data_format);
  }
}

TEST(HeaderChainTest, HeaderFieldsComeFromTheirPublishedOffsets) {
  std::string data = Mde("MQXMIT  ") + Xqh("REMOTE.Q", "REMOTE.QM", "MQDEAD  ") + Dlh("DEST.Q", "DEST.QM", "MQSTR   ", 2035);
  MQMD md = MdWithFormat("MQHMDE  ");
  HeaderChain chain = WalkHeaderChain(md, {reinterpret_cast<const uint8_t*>(data.data()), data.size()});
  ASSERT_TRUE(chain.mde && chain.xqh && chain.dlh);
  EXPECT_EQ(chain.mde->CodedCharSetId, 1208);
  EXPECT_EQ(chain.mde->MsgSeqNumber, 3);
  EXPECT_EQ(std::string(chain.xqh->RemoteQName, 8), "REMOTE.Q");
  EXPECT_EQ(chain.xqh->MsgDesc.Priority, 4);
  EXPECT_EQ(std::string(chain.xqh->MsgDesc.ReplyToQ, 7), "REPLY.Q");
  EXPECT_EQ(chain.xqh_offset, 72u);
  EXPECT_EQ(chain.dlh_offset, 500u);
  EXPECT_EQ(chain.dlh->Reason, 2035);
  EXPECT_EQ(std::string(chain.dlh->DestQMgrName, 7), "DEST.QM");
  EXPECT_EQ(std::string(chain.dlh->PutTime, 8), "16300000");
}

}  // namespace
}  // namespace msgops
