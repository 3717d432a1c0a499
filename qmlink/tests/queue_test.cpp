// MQueue against a real mqsim: open options, put and get with regrow,
// clear, statistics and the attribute calls.
#include <string>

#include "mqsim_env.h"

namespace qmlink_test {
namespace {

struct QueueDeleter {
  void operator()(MQueue* q) const { DeleteMQueue(q); }
};
using QueuePtr = std::unique_ptr<MQueue, QueueDeleter>;

struct Msg {
  explicit Msg(MQLONG size) { EXPECT_EQ(CreateMessage(&m, size), 1); }
  ~Msg() { DeleteMessage(&m); }
  std::string Body() const { return std::string(reinterpret_cast<char*>(m.Payload), m.UsedLength - MESSAGE_HEADER_LENGTH); }
  void SetBody(const std::string& data) {
    ASSERT_EQ(SizeMessage(&m, static_cast<MQLONG>(data.size())), 1);
    std::memcpy(m.Payload, data.data(), data.size());
    m.UsedLength = MESSAGE_HEADER_LENGTH + static_cast<MQLONG>(data.size());
  }
  Message m{};
};

MQPMO PutOptions() {
  MQPMO pmo{};
  std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
  pmo.Version = MQPMO_VERSION_1;
  pmo.Options = MQPMO_NO_SYNCPOINT;
  return pmo;
}

MQGMO GetOptions(MQLONG options = MQGMO_NO_SYNCPOINT) {
  MQGMO gmo{};
  std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
  gmo.Version = MQGMO_VERSION_2;
  gmo.Options = options;
  gmo.MatchOptions = MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID;
  return gmo;
}

class QueueTest : public MqsimTest {
 protected:
  void SetUp() override {
    MqsimTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(Ctl({"define", "QM1", "APP.Q", "--type", "local", "--maxdepth", "100"}), 0)
        << ts::ReadWholeFile(dir_.Sub("ctl.log"));
    conn_ = std::make_unique<Conn>();
  }
  void TearDown() override { conn_.reset(); }
  std::unique_ptr<Conn> conn_;
};

TEST_F(QueueTest, CreatedQueueIsClosedWithBlankDescriptorFields) {
  QueuePtr q(CreateMQueue(conn_->h(), "APP.Q"));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->kind, 4);
  EXPECT_EQ(q->hObj, -1);
  EXPECT_FALSE(qqIsOpen(q.get()));
  EXPECT_EQ(std::string(q->descriptor.ObjectName, 5), "APP.Q");
  EXPECT_EQ(std::string(q->descriptor.ObjectQMgrName, 48), std::string(48, ' '));
  EXPECT_EQ(std::string(q->descriptor.AlternateUserId, 12), std::string(12, ' '));
  EXPECT_EQ(Trimmed(q->descriptor.DynamicQName, 48), "AMQ.*");
  EXPECT_EQ(DeleteMQueue(nullptr), 0);
}

TEST_F(QueueTest, LongMessageGrowsASmallMessageAndComesBackWhole) {
  std::string data(40000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('A' + i % 26);
  QueuePtr q(CreateMQueue(conn_->h(), "APP.Q"));
  ASSERT_EQ(qqOpen(MQOO_OUTPUT | MQOO_INPUT_SHARED | MQOO_INQUIRE, q.get(), nullptr), 1) << q->reason;
  Msg out(0);
  out.SetBody(data);
  MQPMO pmo = PutOptions();
  ASSERT_EQ(qqWrite(&out.m, &pmo, q.get()), 1) << q->reason;

  Msg in(512 - MESSAGE_HEADER_LENGTH);
  std::memcpy(MESSAGE_HEADER(&in.m)->UserId, "KEEPME", 6);
  MQGMO gmo = GetOptions();
  ASSERT_EQ(qqRead(&in.m, &gmo, q.get()), 1) << q->reason;
  EXPECT_EQ(in.m.UsedLength, MESSAGE_HEADER_LENGTH + 40000);
  EXPECT_GE(in.m.Capacity, MESSAGE_HEADER_LENGTH + 40000);
  EXPECT_EQ(in.Body(), data);
  EXPECT_EQ(std::memcmp(MESSAGE_HEADER(&in.m)->UserId, "KEEPME", 6), 0) << "a read must not touch the header";
  MQLONG depth = -1, max_depth = -1;
  ASSERT_EQ(qqGetStats(q.get(), &depth, &max_depth), 1);
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(max_depth, 100);
}

TEST_F(QueueTest, UnlimitedWaitReturnsWhenAMessageArrivesAndKeepsTheCallersOptions) {
  QueuePtr q(CreateMQueue(conn_->h(), "APP.Q"));
  ASSERT_EQ(qqOpen(MQOO_INPUT_SHARED, q.get(), nullptr), 1);
  std::thread putter([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Conn other;
    MQMD md = DefaultMd();
    EXPECT_EQ(other.Put1("APP.Q", &md, "late", 4), MQRC_NONE);
  });
  Msg in(64);
  MQGMO gmo = GetOptions(MQGMO_NO_SYNCPOINT | MQGMO_WAIT);
  gmo.WaitInterval = MQWI_UNLIMITED;
  EXPECT_EQ(qqRead(&in.m, &gmo, q.get()), 1) << q->reason;
  putter.join();
  EXPECT_EQ(in.Body(), "late");
  EXPECT_EQ(gmo.WaitInterval, MQWI_UNLIMITED);
}

TEST_F(QueueTest, ClearEmptiesTheQueueAndAnEmptyQueueClearsFine) {
  QueuePtr q(CreateMQueue(conn_->h(), "APP.Q"));
  ASSERT_EQ(qqOpen(MQOO_OUTPUT | MQOO_INPUT_EXCLUSIVE | MQOO_INQUIRE, q.get(), nullptr), 1);
  EXPECT_EQ(qqClear(q.get()), 1);
  EXPECT_EQ(q->reason, MQRC_NO_MSG_AVAILABLE);
  MQPMO pmo = PutOptions();
  for (size_t size : {10u, 40000u, 0u}) {
    Msg out(0);
    out.SetBody(std::string(size, 'x'));
    ASSERT_EQ(qqWrite(&out.m, &pmo, q.get()), 1);
  }
  EXPECT_EQ(conn_->Depth("APP.Q"), 3);
  EXPECT_EQ(qqClear(q.get()), 1);
  EXPECT_EQ(conn_->Depth("APP.Q"), 0);
}

TEST_F(QueueTest, AlternateUserOfBlanksOpensWithoutAlternateAuthority) {
  ASSERT_EQ(Ctl({"deny", "QM1", "BADUSER"}), 0) << ts::ReadWholeFile(dir_.Sub("ctl.log"));
  struct Case {
    const char* user;
    MQLONG reason;
  } cases[] = {{"            ", MQRC_NONE}, {nullptr, MQRC_NONE}, {"", MQRC_NONE}, {"BADUSER", MQRC_NOT_AUTHORIZED}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user != nullptr ? c.user : "(null)");
    QueuePtr q(CreateMQueue(conn_->h(), "APP.Q"));
    EXPECT_EQ(qqOpen(MQOO_INQUIRE, q.get(), c.user), c.reason == MQRC_NONE ? 1 : 0);
    EXPECT_EQ(q->reason, c.reason);
  }
}

TEST_F(QueueTest, PutToClosedQueueUsesPut1WithAlternateUserAsIdentity) {
  QueuePtr q(CreateMQueue(conn_->h(), "APP.Q"));
  SetField(q->descriptor.AlternateUserId, 12, "OPERATOR");
  Msg out(0);
  out.SetBody("hello");
  MQPMO pmo = PutOptions();
  ASSERT_EQ(qqWrite(&out.m, &pmo, q.get()), 1) << q->reason;
  EXPECT_NE(pmo.Options & MQPMO_SET_IDENTITY_CONTEXT, 0);
  EXPECT_NE(pmo.Options & MQPMO_ALTERNATE_USER_AUTHORITY, 0);
  QueuePtr in(CreateMQueue(conn_->h(), "APP.Q"));
  ASSERT_EQ(qqOpen(MQOO_INPUT_SHARED, in.get(), nullptr), 1);
  Msg got(64);
  MQGMO gmo = GetOptions();
  ASSERT_EQ(qqRead(&got.m, &gmo, in.get()), 1) << in->reason;
  EXPECT_EQ(got.Body(), "hello");
  EXPECT_EQ(Trimmed(got.m.Md.UserIdentifier, 12), "OPERATOR");
}

TEST_F(QueueTest, SecondOpenOfAnOpenQueueIsRefusedAndKeepsTheHandle) {
  QueuePtr q(CreateMQueue(conn_->h(), "APP.Q"));
  ASSERT_EQ(qqOpen(MQOO_INQUIRE, q.get(), nullptr), 1);
  MQHOBJ first = q->hObj;
  EXPECT_EQ(qqOpen(MQOO_INQUIRE, q.get(), nullptr), 0);
  EXPECT_EQ(q->hObj, first);
  EXPECT_EQ(qqClose(q.get()), 1);
  EXPECT_EQ(q->hObj, -1);
  EXPECT_EQ(qqClose(q.get()), 1) << "closing a closed queue is fine";
}

TEST_F(QueueTest, DynamicQueueTakesTheNameMqMakes) {
  QueuePtr q(CreateMQDynamic(conn_->h(), "SYSTEM.DEFAULT.MODEL.QUEUE", "MY.TEMP.*"));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(std::string(q->name), "MY.TEMP.*");
  ASSERT_EQ(qqOpen(MQOO_INPUT_EXCLUSIVE, q.get(), nullptr), 1) << q->reason;
  std::string made = Trimmed(q->name, 48);
  EXPECT_EQ(made.rfind("MY.TEMP.", 0), 0u);
  EXPECT_GT(made.size(), 8u);
  EXPECT_EQ(made.find('*'), std::string::npos);

  QueuePtr r(CreateMQueue(conn_->h(), "EVENTS.*"));
  ASSERT_EQ(qqOpenDynamic(MQOO_INPUT_EXCLUSIVE, r.get(), "SYSTEM.DEFAULT.MODEL.QUEUE", nullptr), 1) << r->reason;
  EXPECT_EQ(Trimmed(r->name, 48).rfind("EVENTS.", 0), 0u);
}

TEST_F(QueueTest, OpenInputCountTellsWhetherSomeoneReads) {
  QueuePtr q(CreateMQueue(conn_->h(), "APP.Q"));
  ASSERT_EQ(qqOpen(MQOO_INQUIRE, q.get(), nullptr), 1);
  EXPECT_EQ(qqIsOpenInput(q.get()), 0);
  QueuePtr reader(CreateMQueue(conn_->h(), "APP.Q"));
  ASSERT_EQ(qqOpen(MQOO_INPUT_SHARED, reader.get(), nullptr), 1);
  EXPECT_EQ(qqIsOpenInput(q.get()), 1);
}

TEST_F(QueueTest, AttributeCallsOpenTheQueueForOneCall) {
  MQLONG value = -1, reason = -1;
  EXPECT_EQ(qqGetIntAttr(conn_->h(), "APP.Q", MQIA_MAX_Q_DEPTH, &value, &reason), 1);
  EXPECT_EQ(value, 100);
  EXPECT_EQ(reason, 0);
  EXPECT_EQ(qqGetIntAttr(conn_->h(), "NO.SUCH.Q", MQIA_MAX_Q_DEPTH, &value, &reason), 0);
  EXPECT_EQ(reason, MQRC_UNKNOWN_OBJECT_NAME);

  QueuePtr reader(CreateMQueue(conn_->h(), "APP.Q"));
  ASSERT_EQ(qqOpen(MQOO_INPUT_SHARED | MQOO_OUTPUT, reader.get(), nullptr), 1);
  Msg out(0);
  out.SetBody("one");
  MQPMO pmo = PutOptions();
  ASSERT_EQ(qqWrite(&out.m, &pmo, reader.get()), 1);
  MQLONG depth = -1, max_depth = -1, inputs = -1, outputs = -1, trigger = -1;
  ASSERT_EQ(qqGetAllQStats(conn_->h(), "APP.Q", &depth, &max_depth, &inputs, &outputs, &trigger, &reason), 1)
      << reason;
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(max_depth, 100);
  EXPECT_EQ(inputs, 1);
  EXPECT_EQ(outputs, 1);
  EXPECT_EQ(trigger, MQTC_OFF);
  EXPECT_EQ(qqGetAllQStats(conn_->h(), "NO.SUCH.Q", &depth, &max_depth, &inputs, &outputs, &trigger, &reason), 0);
  EXPECT_EQ(reason, MQRC_UNKNOWN_OBJECT_NAME);

  // MQSET of the trigger data, read back with a plain MQINQ.
  // The length is the attribute's full width, as MQSET wants it.
  char data[MQ_TRIGGER_DATA_LENGTH];
  SetField(data, sizeof data, "trigger text");
  ASSERT_EQ(qqSetCharAttr(conn_->h(), "APP.Q", MQCA_TRIGGER_DATA, sizeof data, data, &reason), 1) << reason;
  EXPECT_EQ(qqSetCharAttr(conn_->h(), "APP.Q", MQCA_TRIGGER_DATA, 5, data, &reason), 0);
  EXPECT_EQ(reason, MQRC_CHAR_ATTR_LENGTH_ERROR);
  MQLONG err = 0;
  MQHOBJ h = conn_->Open("APP.Q", MQOO_INQUIRE, &err);
  ASSERT_EQ(err, 0);
  MQLONG selector = MQCA_TRIGGER_DATA, cc = 0, rc = 0;
  char text[MQ_TRIGGER_DATA_LENGTH];
  MQINQ(conn_->h(), h, 1, &selector, 0, nullptr, sizeof text, text, &cc, &rc);
  EXPECT_EQ(Trimmed(text, sizeof text), "trigger text");
  MQCLOSE(conn_->h(), &h, MQCO_NONE, &cc, &rc);
  EXPECT_EQ(qqSetCharAttr(conn_->h(), "NO.SUCH.Q", MQCA_TRIGGER_DATA, 1, "x", &reason), 0);
  EXPECT_EQ(reason, MQRC_UNKNOWN_OBJECT_NAME);
}

}  // namespace
}  // namespace qmlink_test
