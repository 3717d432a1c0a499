// Older structure versions are shorter: the library must read and write
// only the fields a version has. Each structure here lives in a heap block
// of exactly its version's length, so AddressSanitizer catches any access
// past it.
#include <memory>

#include "mqsim_fixture.h"

using namespace mqsim_test;

namespace {

template <typename T>
std::unique_ptr<char[]> Exact(const T& full, size_t length) {
  std::unique_ptr<char[]> p(new char[length]);
  memcpy(p.get(), &full, length);
  return p;
}

}  // namespace

TEST_F(MqsimTest, VersionOneStructuresAreNeverOverrun) {
  ASSERT_EQ(Ctl("define QM1 APP.Q --type local"), 0);
  MQHCONN h = Connect();
  MQOD od = Od("APP.Q");
  auto od1 = Exact(od, MQOD_LENGTH_1);
  MQHOBJ obj = 0;
  MQLONG cc = 0, rc = 0;
  MQOPEN(h, od1.get(), MQOO_OUTPUT | MQOO_INPUT_SHARED, &obj, &cc, &rc);
  ASSERT_EQ(rc, 0);

  MQMD md = Md();
  md.Version = MQMD_VERSION_1;
  memcpy(md.CorrelId, "V1-CORREL", 9);
  auto md1 = Exact(md, MQMD_LENGTH_1);
  MQPMO pmo = Pmo();
  auto pmo1 = Exact(pmo, MQPMO_LENGTH_1);
  MQPUT(h, obj, md1.get(), pmo1.get(), 5, const_cast<char*>("v1 md"), &cc, &rc);
  ASSERT_EQ(rc, 0);
  MQMD1 put_back;
  memcpy(&put_back, md1.get(), MQMD_LENGTH_1);
  EXPECT_EQ(put_back.Version, MQMD_VERSION_1);
  EXPECT_NE(put_back.MsgId[0], 0);  // generated and returned

  // MQPUT1 with version-1 descriptors too.
  MQPUT1(h, od1.get(), md1.get(), pmo1.get(), 6, const_cast<char*>("second"), &cc, &rc);
  ASSERT_EQ(rc, 0);

  // A version-1 MQGMO has no MatchOptions: MQ matches both ids, and the
  // version-1 MQMD holds the CorrelId to match.
  MQGMO gmo = Gmo();
  gmo.Version = MQGMO_VERSION_1;
  auto gmo1 = Exact(gmo, MQGMO_LENGTH_1);
  MQMD want = Md();
  want.Version = MQMD_VERSION_1;
  memcpy(want.CorrelId, "V1-CORREL", 9);
  auto want1 = Exact(want, MQMD_LENGTH_1);
  char buf[16];
  MQLONG len = 0;
  MQGET(h, obj, want1.get(), gmo1.get(), sizeof buf, buf, &len, &cc, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(std::string(buf, len), "v1 md");
  MQMD1 got;
  memcpy(&got, want1.get(), MQMD_LENGTH_1);
  EXPECT_EQ(got.Version, MQMD_VERSION_1);

  // A version-1 MQCNO carries no channel definition: a local connection.
  std::thread([&] {
    MQCNO cno{};
    memcpy(cno.StrucId, MQCNO_STRUC_ID, 4);
    cno.Version = MQCNO_VERSION_1;
    auto cno1 = Exact(cno, MQCNO_LENGTH_1);
    char qm[48] = "QM1";
    MQHCONN h2 = 0;
    MQLONG cc2 = 0, rc2 = 0;
    MQCONNX(qm, reinterpret_cast<MQCNO*>(cno1.get()), &h2, &cc2, &rc2);
    EXPECT_EQ(rc2, 0);
    Disconnect(h2);
  }).join();
  Disconnect(h);
}

TEST_F(MqsimTest, BadStructuresAreRefusedWithTheirReasons) {
  ASSERT_EQ(Ctl("define QM1 APP.Q --type local"), 0);
  MQHCONN h = Connect();
  MQHOBJ obj = 0;
  ASSERT_EQ(Open(h, "APP.Q", MQOO_OUTPUT | MQOO_INPUT_SHARED, &obj), 0);
  MQLONG cc = 0, rc = 0;
  MQOD od = Od("APP.Q");
  memcpy(od.StrucId, "XX  ", 4);
  MQHOBJ o2 = 0;
  MQOPEN(h, &od, MQOO_OUTPUT, &o2, &cc, &rc);
  EXPECT_EQ(rc, MQRC_OD_ERROR);
  MQMD md = Md();
  md.Version = 3;
  MQPMO pmo = Pmo();
  MQPUT(h, obj, &md, &pmo, 1, const_cast<char*>("x"), &cc, &rc);
  EXPECT_EQ(rc, MQRC_MD_ERROR);
  md = Md();
  memcpy(pmo.StrucId, "PM  ", 4);
  MQPUT(h, obj, &md, &pmo, 1, const_cast<char*>("x"), &cc, &rc);
  EXPECT_EQ(rc, MQRC_PMO_ERROR);
  pmo = Pmo();
  MQPUT(h, obj, &md, &pmo, -1, const_cast<char*>("x"), &cc, &rc);
  EXPECT_EQ(rc, MQRC_BUFFER_LENGTH_ERROR);
  MQGMO gmo = Gmo();
  gmo.Version = 9;
  MQLONG len = 0;
  char buf[4];
  MQGET(h, obj, &md, &gmo, 4, buf, &len, &cc, &rc);
  EXPECT_EQ(rc, MQRC_GMO_ERROR);
  MQPUT(h, 4242, &md, &pmo, 1, const_cast<char*>("x"), &cc, &rc);
  EXPECT_EQ(rc, MQRC_HOBJ_ERROR);
  MQPUT(h + 1000, obj, &md, &pmo, 1, const_cast<char*>("x"), &cc, &rc);
  EXPECT_EQ(rc, MQRC_HCONN_ERROR);
  // A channel definition without a usable connection name.
  std::thread([&] {
    MQCD cd{};
    cd.Version = MQCD_VERSION_6;
    memcpy(cd.ConnectionName, "127.0.0.1(notaport)", 19);
    MQCNO cno{};
    memcpy(cno.StrucId, MQCNO_STRUC_ID, 4);
    cno.Version = MQCNO_VERSION_2;
    cno.ClientConnPtr = &cd;
    char qm[48] = "QM1";
    MQHCONN h2 = 0;
    MQLONG cc2 = 0, rc2 = 0;
    MQCONNX(qm, &cno, &h2, &cc2, &rc2);
    EXPECT_EQ(rc2, MQRC_CLIENT_CONN_ERROR);
    EXPECT_EQ(h2, MQHC_UNUSABLE_HCONN);
  }).join();
  Disconnect(h);
}

TEST_F(MqsimTest, PermanentDynamicQueueStaysUntilClosedWithDelete) {
  ASSERT_EQ(Ctl("define QM1 PERM.MODEL --type model --deftype permdyn"), 0);
  MQHCONN h = Connect();
  MQOD od = Od("PERM.MODEL");
  mqsim::SetField(od.DynamicQName, 48, "PERM.*");
  MQHOBJ obj = 0;
  MQLONG cc = 0, rc = 0;
  MQOPEN(h, &od, MQOO_OUTPUT | MQOO_INPUT_SHARED, &obj, &cc, &rc);
  ASSERT_EQ(rc, 0);
  std::string name = mqsim::FieldText(od.ObjectName, 48);
  MQMD md = Md();
  md.Persistence = MQPER_PERSISTENT;
  ASSERT_EQ(Put(h, obj, "kept", &md), 0);  // persistent is allowed here
  MQCLOSE(h, &obj, MQCO_NONE, &cc, &rc);
  ASSERT_EQ(rc, 0);
  KillServer();
  Disconnect(h);
  StartServer();
  MQHCONN h2 = Connect();
  MQHOBJ again = 0;
  ASSERT_EQ(Open(h2, name, MQOO_INPUT_SHARED, &again), 0);
  MQCLOSE(h2, &again, MQCO_DELETE, &cc, &rc);
  EXPECT_EQ(rc, MQRC_Q_NOT_EMPTY);
  EXPECT_EQ(Get(h2, again).data, "kept");
  MQCLOSE(h2, &again, MQCO_DELETE, &cc, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Open(h2, name, MQOO_INPUT_SHARED, &again), MQRC_UNKNOWN_OBJECT_NAME);
  MQHOBJ fixed = 0;
  ASSERT_EQ(Open(h2, "SYSTEM.DEAD.LETTER.QUEUE", MQOO_OUTPUT, &fixed), 0);
  MQCLOSE(h2, &fixed, MQCO_DELETE, &cc, &rc);
  EXPECT_EQ(rc, MQRC_OPTION_NOT_VALID_FOR_TYPE);
  Disconnect(h2);
}

TEST_F(MqsimTest, ControlCommandStartsTheServerWhenNoneRuns) {
  StopServer();
  ASSERT_EQ(Ctl("start QM1"), 0);  // spawns mqsim in the background
  MQHCONN h = Connect();
  EXPECT_GT(h, 0);
  Disconnect(h);
  EXPECT_EQ(Ctl("start QM1"), 1);  // already running
  EXPECT_EQ(Ctl("start NOPE"), 1);
  EXPECT_EQ(Ctl("shutdown"), 0);
  // The server is gone: its control socket no longer answers.
  harrow::testsupport::WaitFor([&] { return access((root_ + "/mqsim.sock").c_str(), F_OK) != 0; },
                               std::chrono::seconds(5));
  EXPECT_NE(access((root_ + "/mqsim.sock").c_str(), F_OK), 0);
}
