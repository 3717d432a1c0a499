// Fuzz target: the queue manager's handlers behind the decoders. The input
// drives a few sessions on two queue managers (MQPUT1 and remote queues
// cross between them) with requests whose every field comes from the input,
// the way mqsim's loop would pass them on: a session with a waiting get is
// sent nothing but its disconnect. Nothing may crash or misbehave under
// the sanitizers, and after each input, with its sessions gone, no waiting
// get, opener or unit-of-work mark may be left behind.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "common/install.h"
#include "common/protocol.h"
#include "server/queue_manager.h"

using namespace mqsim;
using namespace mqsim::server;

namespace {

struct Sink : ReplySink {
  size_t replies = 0;
  bool ended = false;
  void SendReply(uint32_t, const Writer&) override { ++replies; }
  void SessionEnded() override { ended = true; }
};

struct FuzzHost : Host {
  std::map<std::string, QueueManager*> running;
  QueueManager* FindRunning(const std::string& name) override {
    auto it = running.find(name);
    return it == running.end() ? nullptr : it->second;
  }
};

struct Slot {
  QueueManager* qm = nullptr;
  Session* session = nullptr;
  std::unique_ptr<Sink> sink;
};

struct World {
  std::string dir;
  FuzzHost host;
  std::unique_ptr<QueueManager> qm1, qm2;
};

Attr IntAttr(MQLONG sel, MQLONG v) {
  Attr a;
  a.selector = sel;
  a.int_value = v;
  return a;
}

Attr StrAttr(MQLONG sel, const std::string& v) {
  Attr a;
  a.selector = sel;
  a.is_string = true;
  a.str_value = v;
  return a;
}

void Define(QueueManager* qm, std::vector<Attr> attrs) {
  std::string text;
  qm->DefineQueue(attrs, true, &text);
}

std::string g_dir;

void RemoveDir() {
  std::string cmd = "rm -rf '" + g_dir + "'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", g_dir.c_str());
}

World* MakeWorld() {
  auto* w = new World;
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string tmpl = std::string(base) + "/mqsimfuzz.XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) abort();
  w->dir = tmpl;
  g_dir = tmpl;
  std::atexit(RemoveDir);
  std::string error;
  w->qm1 = QueueManager::Open("QM1", w->dir + "/QM1", &w->host, &error);
  w->qm2 = QueueManager::Open("QM2", w->dir + "/QM2", &w->host, &error);
  if (!w->qm1 || !w->qm2) abort();
  w->host.running["QM1"] = w->qm1.get();
  w->host.running["QM2"] = w->qm2.get();
  for (QueueManager* qm : {w->qm1.get(), w->qm2.get()}) {
    Define(qm, {StrAttr(MQCA_Q_NAME, "L"), IntAttr(MQIA_Q_TYPE, MQQT_LOCAL), IntAttr(MQIA_MAX_Q_DEPTH, 50),
                IntAttr(MQIA_MAX_MSG_LENGTH, 1000)});
    Define(qm, {StrAttr(MQCA_Q_NAME, "F"), IntAttr(MQIA_Q_TYPE, MQQT_LOCAL),
                IntAttr(MQIA_MSG_DELIVERY_SEQUENCE, MQMDS_FIFO), IntAttr(MQIA_DEF_PERSISTENCE, MQPER_PERSISTENT)});
    Define(qm, {StrAttr(MQCA_Q_NAME, "A"), IntAttr(MQIA_Q_TYPE, MQQT_ALIAS), StrAttr(MQCA_BASE_Q_NAME, "L")});
    Define(qm, {StrAttr(MQCA_Q_NAME, "AA"), IntAttr(MQIA_Q_TYPE, MQQT_ALIAS), StrAttr(MQCA_BASE_Q_NAME, "A")});
    Define(qm, {StrAttr(MQCA_Q_NAME, "R"), IntAttr(MQIA_Q_TYPE, MQQT_REMOTE), StrAttr(MQCA_REMOTE_Q_NAME, "L"),
                StrAttr(MQCA_REMOTE_Q_MGR_NAME, qm == w->qm1.get() ? "QM2" : "QM1")});
    Define(qm, {StrAttr(MQCA_Q_NAME, "SELF"), IntAttr(MQIA_Q_TYPE, MQQT_REMOTE), StrAttr(MQCA_REMOTE_Q_NAME, "SELF")});
    Define(qm, {StrAttr(MQCA_Q_NAME, "PM"), IntAttr(MQIA_Q_TYPE, MQQT_MODEL),
                IntAttr(MQIA_DEFINITION_TYPE, MQQDT_PERMANENT_DYNAMIC)});
    qm->FlushJournal();
  }
  return w;
}

const char* const kNames[] = {"L", "F", "A", "AA", "R", "SELF", "PM", "SYSTEM.DEFAULT.MODEL.QUEUE",
                              "SYSTEM.DEAD.LETTER.QUEUE", "NOPE", "", "QM1", "QM2"};
const char* const kQmgrs[] = {"", "QM1", "QM2", "ELSEWHERE"};
const char* const kDynamic[] = {"DYN.*", "*", "P.FIXED", "BAD*NAME", ""};
const MQLONG kSelectors[] = {MQIA_CURRENT_Q_DEPTH, MQIA_MAX_Q_DEPTH, MQIA_INHIBIT_GET, MQIA_INHIBIT_PUT,
                             MQIA_TRIGGER_CONTROL, MQIA_TRIGGER_TYPE, MQIA_TRIGGER_DEPTH,
                             MQIA_TRIGGER_MSG_PRIORITY, MQCA_TRIGGER_DATA, MQCA_Q_DESC, MQCA_Q_NAME,
                             MQIA_OPEN_INPUT_COUNT, MQIA_OPEN_OUTPUT_COUNT, MQIA_Q_TYPE, MQCA_Q_MGR_NAME,
                             MQIA_PLATFORM, MQCA_BASE_Q_NAME, MQIA_MSG_DELIVERY_SEQUENCE};

std::string Pick(FuzzedDataProvider& p, const char* const* list, size_t n) {
  if (p.ConsumeIntegralInRange<int>(0, 15) == 0) return p.ConsumeRandomLengthString(60);
  return list[p.ConsumeIntegralInRange<size_t>(0, n - 1)];
}

MQLONG Options(FuzzedDataProvider& p, MQLONG usual) {
  MQLONG v = p.ConsumeIntegral<MQLONG>();
  return p.ConsumeIntegralInRange<int>(0, 7) == 0 ? v : (v & usual);
}

MQMD Md(FuzzedDataProvider& p) {
  MQMD md{};
  std::memcpy(md.StrucId, MQMD_STRUC_ID, 4);
  md.Version = MQMD_VERSION_2;
  md.Priority = p.ConsumeIntegralInRange<MQLONG>(-2, 11);
  md.Persistence = p.ConsumeIntegralInRange<MQLONG>(-1, 3);
  md.Encoding = MQENC_NATIVE;
  std::memcpy(md.Format, p.ConsumeBool() ? MQFMT_STRING : MQFMT_NONE, 8);
  if (p.ConsumeBool()) md.MsgId[0] = p.ConsumeIntegral<uint8_t>();
  if (p.ConsumeBool()) md.CorrelId[0] = p.ConsumeIntegral<uint8_t>();
  if (p.ConsumeIntegralInRange<int>(0, 7) == 0) {
    std::vector<uint8_t> raw = p.ConsumeBytes<uint8_t>(sizeof md);
    if (!raw.empty()) std::memcpy(&md, raw.data(), raw.size());
  }
  return md;
}

std::vector<MQLONG> Selectors(FuzzedDataProvider& p) {
  std::vector<MQLONG> out(p.ConsumeIntegralInRange<size_t>(0, 6));
  for (auto& s : out)
    s = p.ConsumeBool() ? kSelectors[p.ConsumeIntegralInRange<size_t>(0, std::size(kSelectors) - 1)]
                        : p.ConsumeIntegral<MQLONG>();
  return out;
}

void Step(World& w, std::vector<Slot>& slots, FuzzedDataProvider& p) {
  Slot& slot = slots[p.ConsumeIntegralInRange<size_t>(0, slots.size() - 1)];
  if (slot.session == nullptr || slot.sink->ended) {
    slot.sink = std::make_unique<Sink>();
    slot.qm = p.ConsumeBool() ? w.qm1.get() : w.qm2.get();
    slot.session = slot.qm->Connect("user", "fuzz", slot.sink.get());
  }
  QueueManager* qm = slot.qm;
  Session* s = slot.session;
  const int op = p.ConsumeIntegralInRange<int>(0, 12);
  if (s->pending && op != 9) return;  // mqsim refuses anything else here
  auto hobj = [&] { return p.ConsumeIntegralInRange<MQHOBJ>(-1, 6); };
  switch (op) {
    case 0: {
      OpenRequest req;
      req.options = Options(p, 0x3FFF);
      req.od.object_type = p.ConsumeIntegralInRange<int>(0, 5) == 0 ? p.ConsumeIntegral<MQLONG>()
                           : p.ConsumeBool()                       ? MQOT_Q
                                                                   : MQOT_Q_MGR;
      req.od.name = Pick(p, kNames, std::size(kNames));
      req.od.qmgr = Pick(p, kQmgrs, std::size(kQmgrs));
      req.od.dynamic_name = Pick(p, kDynamic, std::size(kDynamic));
      req.od.alternate_user = p.ConsumeBool() ? "" : p.ConsumeRandomLengthString(12);
      qm->OpenObject(s, req);
      break;
    }
    case 1:
      qm->Close(s, CloseRequest{hobj(), Options(p, 3)});
      break;
    case 2:
    case 3: {
      PutRequest req;
      req.hobj = hobj();
      req.od.name = Pick(p, kNames, std::size(kNames));
      req.od.qmgr = Pick(p, kQmgrs, std::size(kQmgrs));
      req.options = Options(p, 0xFFFF);
      req.context = hobj();
      req.md = Md(p);
      std::string data = p.ConsumeRandomLengthString(1500);
      req.data = data;
      qm->Put(s, req, op == 3);
      break;
    }
    case 4: {
      GetRequest req;
      req.hobj = hobj();
      req.options = Options(p, 0x7FFFF);
      req.wait_ms = p.ConsumeBool() ? p.ConsumeIntegralInRange<MQLONG>(-2, 50) : p.ConsumeIntegral<MQLONG>();
      req.match_options = Options(p, 0x3F);
      req.md = Md(p);
      req.buffer_length = p.ConsumeBool() ? p.ConsumeIntegralInRange<uint32_t>(0, 2000) : p.ConsumeIntegral<uint32_t>();
      GetReply reply;
      qm->Get(s, req, &reply);
      break;
    }
    case 5: {
      InquireRequest req;
      req.hobj = hobj();
      req.selectors = Selectors(p);
      req.int_count = p.ConsumeIntegralInRange<uint32_t>(0, kMaxSelectors);
      req.char_length = p.ConsumeIntegralInRange<uint32_t>(0, kMaxCharAttrBytes);
      qm->Inquire(s, req);
      break;
    }
    case 6: {
      SetRequest req;
      req.hobj = hobj();
      req.selectors = Selectors(p);
      req.ints.resize(p.ConsumeIntegralInRange<size_t>(0, 6));
      for (auto& v : req.ints) v = p.ConsumeIntegralInRange<MQLONG>(-2, 100);
      req.chars = p.ConsumeRandomLengthString(300);
      qm->Set(s, req);
      break;
    }
    case 7:
      qm->Commit(s);
      break;
    case 8:
      qm->Backout(s);
      break;
    case 9:
      qm->Disconnect(s);
      slot.session = nullptr;
      break;
    case 10:
      qm->OnTimer(Clock::now() + std::chrono::milliseconds(p.ConsumeIntegralInRange<int>(0, 100)));
      break;
    case 11: {
      std::string text;
      std::string name = Pick(p, kNames, std::size(kNames));
      if (p.ConsumeBool())
        qm->DeleteQueue(name, p.ConsumeBool(), &text);
      else
        Define(qm, {StrAttr(MQCA_Q_NAME, name), IntAttr(MQIA_Q_TYPE, p.ConsumeIntegralInRange<MQLONG>(0, 7)),
                    IntAttr(MQIA_MSG_DELIVERY_SEQUENCE, p.ConsumeIntegralInRange<MQLONG>(0, 1))});
      break;
    }
    case 12:
      if (!qm->FlushJournal()) abort();
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World* world = MakeWorld();
  FuzzedDataProvider p(data, size);
  std::vector<Slot> slots(3);
  for (int steps = 0; steps < 200 && p.remaining_bytes() > 0; ++steps) Step(*world, slots, p);
  for (Slot& slot : slots)
    if (slot.session != nullptr && !slot.sink->ended) slot.qm->Disconnect(slot.session);
  // With every session gone, every unit of work is gone too: each message
  // of a queue can be browsed, and no handle counts as an opener.
  for (QueueManager* qm : {world->qm1.get(), world->qm2.get()}) {
    if (qm->session_count() != 0 || qm->NextDeadline().has_value()) abort();
    Sink sink;
    Session* s = qm->Connect("check", "fuzz", &sink);
    for (const char* name : {"L", "F"}) {
      OpenRequest open;
      open.options = MQOO_BROWSE | MQOO_INQUIRE;
      open.od.name = name;
      OpenReply opened = qm->OpenObject(s, open);
      if (opened.cc != MQCC_OK) continue;  // the input deleted or redefined it
      InquireRequest inq;
      inq.hobj = opened.hobj;
      inq.selectors = {MQIA_CURRENT_Q_DEPTH, MQIA_OPEN_INPUT_COUNT, MQIA_OPEN_OUTPUT_COUNT};
      inq.int_count = 3;
      InquireReply counts = qm->Inquire(s, inq);
      if (counts.cc != MQCC_OK || counts.ints.size() != 3) continue;  // not a local queue now
      if (counts.ints[1] != 0 || counts.ints[2] != 0) abort();
      MQLONG browsed = 0;
      GetRequest get;
      get.hobj = opened.hobj;
      get.options = MQGMO_BROWSE_FIRST | MQGMO_ACCEPT_TRUNCATED_MSG;
      for (GetReply r; qm->Get(s, get, &r) && r.cc != MQCC_FAILED; r = GetReply()) {
        ++browsed;
        get.options = MQGMO_BROWSE_NEXT | MQGMO_ACCEPT_TRUNCATED_MSG;
      }
      if (browsed != counts.ints[0]) abort();
    }
    qm->Disconnect(s);
    if (!qm->FlushJournal()) abort();
  }
  return 0;
}
