// MQSC text through MQCMD_ESCAPE against a real mqsim.
#include <gtest/gtest.h>

#include "mqsim_fixture.h"
#include "pcf_admin.h"

using namespace mqsim_test;

namespace {

class MqscTest : public MqsimTest {
 protected:
  // Runs MQSC text; the one reply's text.
  std::string Run(Admin& a, const std::string& text, MQLONG* comp_code = nullptr) {
    auto r = a.Send(Request(MQCMD_ESCAPE).Int(MQIACF_ESCAPE_TYPE, MQET_MQSC).Str(MQCACF_ESCAPE_TEXT, text));
    EXPECT_EQ(r.size(), 1u);
    if (r.empty()) return "";
    EXPECT_EQ(r[0].cfh.Command, MQCMD_ESCAPE);
    EXPECT_EQ(r[0].ints[MQIACF_ESCAPE_TYPE], MQET_MQSC);
    if (comp_code != nullptr) *comp_code = r[0].cfh.CompCode;
    return r[0].strs[MQCACF_ESCAPE_TEXT];
  }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(MqscTest, ScriptDefinesQueueChannelPairNamelistAndProcessThenDisplaysThem) {
  Admin a(this, "QM1");
  MQLONG cc = -1;
  std::string out = Run(a,
                        "* objects of the application\n"
                        "DEFINE QLOCAL('APP.IN') DESCR('input queue') MAXDEPTH(500) DEFPSIST(YES) +\n"
                        "  PROCESS(APP.PROC) NOSHARE\n"
                        "DEFINE CHANNEL(QM1.TO.QM2) CHLTYPE(SDR) CONNAME('127.0.0.1(1414)') XMITQ(QM2) -\n"
                        "  TRPTYPE(TCP)\n"
                        "DEFINE CHANNEL(QM2.TO.QM1) CHLTYPE(RCVR)\n"
                        "DEFINE NAMELIST(APP.NL) NAMES(APP.IN, APP.OUT)\n"
                        "DEFINE PROCESS(APP.PROC) APPLICID('/opt/app/run') ENVRDATA('X=1')\n",
                        &cc);
  EXPECT_EQ(cc, MQCC_OK) << out;
  EXPECT_TRUE(Has(out, "5 MQSC commands read.")) << out;
  EXPECT_TRUE(Has(out, "No commands have a syntax error.")) << out;
  EXPECT_TRUE(Has(out, "All valid MQSC commands were processed.")) << out;

  out = Run(a, "DISPLAY QLOCAL(APP.IN)");
  EXPECT_TRUE(Has(out, "QUEUE(APP.IN)")) << out;
  EXPECT_TRUE(Has(out, "DESCR(input queue)")) << out;
  EXPECT_TRUE(Has(out, "MAXDEPTH(500)")) << out;
  EXPECT_TRUE(Has(out, "DEFPSIST(YES)")) << out;
  EXPECT_TRUE(Has(out, "NOSHARE")) << out;
  EXPECT_TRUE(Has(out, "One MQSC command read.")) << out;

  out = Run(a, "DIS CHL(QM*) CHLTYPE CONNAME");
  EXPECT_TRUE(Has(out, "CHANNEL(QM1.TO.QM2)")) << out;
  EXPECT_TRUE(Has(out, "CHLTYPE(SDR)")) << out;
  EXPECT_TRUE(Has(out, "CONNAME(127.0.0.1(1414))")) << out;
  EXPECT_TRUE(Has(out, "CHANNEL(QM2.TO.QM1)")) << out;
  EXPECT_TRUE(Has(out, "CHLTYPE(RCVR)")) << out;
  EXPECT_FALSE(Has(out, "BATCHSZ")) << "only the attributes asked for\n" << out;

  out = Run(a, "DISPLAY NAMELIST(APP.NL)");
  EXPECT_TRUE(Has(out, "NAMES(APP.IN,APP.OUT)")) << out;
  out = Run(a, "DISPLAY PROCESS(APP.PROC) ALL");
  EXPECT_TRUE(Has(out, "APPLICID(/opt/app/run)")) << out;
  EXPECT_TRUE(Has(out, "ENVRDATA(X=1)")) << out;

  // The same objects through PCF.
  auto r = a.Send(Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, "APP.IN"));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].ints[MQIA_SHAREABILITY], MQQA_NOT_SHAREABLE);
  EXPECT_EQ(r[0].ints[MQIA_DEF_PERSISTENCE], MQPER_PERSISTENT);
}

TEST_F(MqscTest, ErrorsAreCountedAndReported) {
  Admin a(this, "QM1");
  MQLONG cc = -1;
  std::string out = Run(a,
                        "DEFINE QLOCAL(A.Q)\n"
                        "DEFINE QLOCAL(A.Q)\n"
                        "DEFINE QLOCAL(B.Q) NOSUCHKEYWORD(1)\n"
                        "DEFINE QLOCAL('C.Q\n"
                        "DELETE QLOCAL(NO.SUCH.Q)\n"
                        "ALTER QLOCAL(A.Q) MAXDEPTH(abc)\n",
                        &cc);
  EXPECT_EQ(cc, MQCC_FAILED);
  EXPECT_TRUE(Has(out, "6 MQSC commands read.")) << out;
  EXPECT_TRUE(Has(out, "3 commands have a syntax error.")) << out;
  EXPECT_TRUE(Has(out, "2 valid MQSC commands could not be processed.")) << out;
  EXPECT_TRUE(Has(out, "already exists")) << out;
  EXPECT_TRUE(Has(out, "not found")) << out;

  auto r = a.Send(Request(MQCMD_ESCAPE).Int(MQIACF_ESCAPE_TYPE, 2).Str(MQCACF_ESCAPE_TEXT, "PING QMGR"));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].cfh.Reason, MQRCCF_ESCAPE_TYPE_ERROR);
}

}  // namespace
