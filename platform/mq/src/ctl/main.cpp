// mqsimctl: creates, starts, stops, deletes and lists the queue managers of
// the MQ stand-in, defines queues on a running one, and keeps its
// alternate-user deny list. Run "mqsimctl help" for the commands.
//
// Files it writes itself (create, delete, deny, allow): mqs.ini, qm.ini,
// errors/AMQERR01.LOG, authority.deny. Everything that touches a running
// queue manager goes through the server's control socket. mqs.ini edits
// hold an flock on <root>/mqs.lock.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <limits>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <os/file_lock.h>
#include <os/registry.h>

#include "common/install.h"
#include "common/protocol.h"
#include "common/socket_io.h"

using namespace mqsim;

namespace {

std::string g_root;

const char* kHelp =
    "usage: mqsimctl [-m root] <command> [arguments]\n"
    "\n"
    "Installation root: -m, else $HARROWLINE_MQM, else /var/mqm.\n"
    "\n"
    "commands:\n"
    "  create QMGR [-p port] [-d prefix] [-D]\n"
    "        create a queue manager; port 0 (the default) takes a free port\n"
    "        at the first start and keeps it (qm.ini); prefix is where\n"
    "        qmgrs/<name> goes (default: root);\n"
    "        -D makes it the default queue manager\n"
    "  start QMGR       start it (and the server, when none runs)\n"
    "  stop QMGR [-i] [-w seconds]\n"
    "        quiesce: fail-if-quiescing calls get 2161, the queue manager\n"
    "        ends when its last application disconnects or after -w seconds\n"
    "        (default 30); -i ends it at once\n"
    "  delete QMGR      delete a stopped queue manager and its data\n"
    "  list             list queue managers with state, port and connections\n"
    "  define QMGR QUEUE --type local|model|alias|remote [options]\n"
    "        --replace --desc TEXT --maxdepth N --maxmsgl N --defpsist yes|no\n"
    "        --defprty N --share|--noshare --defsopt shared|exclusive\n"
    "        --deftype tempdyn|permdyn --get enabled|disabled\n"
    "        --put enabled|disabled --qdepthhi N --qdepthlo N\n"
    "        --trigger|--notrigger --trigdata TEXT --target QUEUE\n"
    "        --rname QUEUE --rqmname QMGR --xmitq QUEUE\n"
    "  delete-queue QMGR QUEUE [--purge]\n"
    "  cmdserver QMGR stop|start|hang\n"
    "        stop the command server (nobody holds the command queue open for\n"
    "        input), start it again, or hang it (the queue stays open for\n"
    "        input but no request is answered)\n"
    "  deny QMGR USER   refuse USER as alternate user (reason 2035)\n"
    "  allow QMGR USER  remove USER from the deny list\n"
    "  registry         write the MQ installation's registry keys (machine\n"
    "                   hive of the registry stand-in) for every queue manager\n"
    "  clients          write the suite's client-connection keys (channel\n"
    "                   SYSTEM.DEF.SVRCONN, connection 127.0.0.1(port)) for\n"
    "                   every queue manager whose listener port is known, as\n"
    "                   the console or an installer would for this host\n"
    "  server           start the server alone, in the background\n"
    "  shutdown         end every queue manager and the server\n"
    "  help             this text\n";

int Fail(const std::string& text) {
  fprintf(stderr, "mqsimctl: %s\n", text.c_str());
  return 1;
}

// The installation's lock (os/file_lock.h: owner-only, bounded wait). A
// control command that cannot have it within the wait says the
// installation is in use and ends.
class MqsLock {
 public:
  MqsLock() {
    MakeDirs(g_root);
    os::Status status = os::FileLock::Acquire(g_root + "/mqs.lock", std::chrono::seconds(10), &lock_);
    if (!status.ok()) {
      std::exit(Fail(status.errno_value() == EWOULDBLOCK
                         ? "the installation " + g_root + " is in use (" + status.message() + ")"
                         : status.message()));
    }
  }

 private:
  os::FileLock lock_;
};

// One control exchange; -1 when no server answers.
int Control(uint32_t op, const ControlRequest& req, std::vector<uint8_t>* reply) {
  int fd = ConnectUnix(ControlSocketPath(g_root));
  if (fd < 0) return -1;
  Writer w;
  if (op != kOpCtlPing && op != kOpCtlStatus && op != kOpCtlShutdown) Encode(w, req);
  std::vector<uint8_t> f = Frame(op, w);
  uint32_t reply_op = 0;
  bool ok = SendAll(fd, f.data(), f.size()) && RecvFrame(fd, &reply_op, reply) && reply_op == op;
  ::close(fd);
  return ok ? 0 : -1;
}

int SimpleControl(uint32_t op, const ControlRequest& req) {
  std::vector<uint8_t> bytes;
  if (Control(op, req, &bytes) != 0) return Fail("no mqsim server answers on " + ControlSocketPath(g_root));
  ControlReply reply;
  if (!Decode(bytes, &reply)) return Fail("malformed reply from the server");
  if (reply.cc == MQCC_FAILED) return Fail(reply.text + " (reason " + std::to_string(reply.rc) + ")");
  if (!reply.text.empty()) printf("%s\n", reply.text.c_str());
  return 0;
}

bool ServerRunning() {
  std::vector<uint8_t> bytes;
  return Control(kOpCtlPing, ControlRequest{}, &bytes) == 0;
}

std::string SelfDir() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = '\0';
  std::string p(buf);
  return p.substr(0, p.rfind('/'));
}

int StartServer() {
  if (ServerRunning()) return 0;
  MakeDirs(g_root);
  const char* env = std::getenv("MQSIM");
  std::string bin = env != nullptr && *env != '\0' ? env : SelfDir() + "/mqsim";
  std::string log = g_root + "/mqsim.log";
  pid_t pid = ::fork();
  if (pid < 0) return Fail(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    ::setsid();
    int null_fd = ::open("/dev/null", O_RDONLY);
    int log_fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (null_fd >= 0) ::dup2(null_fd, 0);
    if (log_fd >= 0) {
      ::dup2(log_fd, 1);
      ::dup2(log_fd, 2);
    }
    // Detach fully: the child of this child is the server, so nobody has
    // to reap it.
    if (::fork() != 0) _exit(0);
    ::execl(bin.c_str(), "mqsim", "-m", g_root.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (ServerRunning()) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return Fail("the server " + bin + " did not answer within 10 s; see " + log);
}

bool RemoveTree(const std::string& path) {
  DIR* d = ::opendir(path.c_str());
  if (d == nullptr) return errno == ENOENT;
  bool ok = true;
  while (dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    std::string p = path + "/" + n;
    struct stat st{};
    if (::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      ok = RemoveTree(p) && ok;
    else
      ok = ::unlink(p.c_str()) == 0 && ok;
  }
  ::closedir(d);
  return ::rmdir(path.c_str()) == 0 && ok;
}

void AppendLog(const std::string& data_dir, const std::string& text) {
  std::string line = text + "\n" + std::string(79, '-') + "\n";
  int fd = ::open((data_dir + "/errors/AMQERR01.LOG").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (fd < 0) return;
  ssize_t w = ::write(fd, line.data(), line.size());
  (void)w;
  ::close(fd);
}

bool ParseInt(const std::string& s, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *out = v;
  return true;
}

int Create(const std::vector<std::string>& args) {
  if (args.empty()) return Fail("create: queue-manager name missing");
  std::string name = args[0];
  if (!ValidQmgrName(name)) return Fail("create: '" + name + "' is not a valid queue-manager name");
  long port = 0;
  std::string prefix = g_root;
  bool make_default = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-p" && i + 1 < args.size()) {
      if (!ParseInt(args[++i], &port) || port < 0 || port > 65535) return Fail("create: bad port " + args[i]);
    } else if (args[i] == "-d" && i + 1 < args.size()) {
      prefix = args[++i];
    } else if (args[i] == "-D") {
      make_default = true;
    } else {
      return Fail("create: unknown argument " + args[i]);
    }
  }
  MqsLock lock;
  IniFile mqs = ReadMqsIni(g_root);
  if (FindQmgr(mqs, name)) return Fail("create: queue manager " + name + " already exists");
  if (mqs.Find("AllQueueManagers") == nullptr) {
    IniFile fresh;
    IniStanza& all = fresh.Add("AllQueueManagers");
    all.Set("DefaultPrefix", g_root);
    IniStanza& log = fresh.Add("LogDefaults");
    log.Set("LogPrimaryFiles", "3");
    log.Set("LogSecondaryFiles", "2");
    log.Set("LogFilePages", "1024");
    log.Set("LogType", "CIRCULAR");
    log.Set("LogBufferPages", "0");
    log.Set("LogDefaultPath", g_root + "/log");
    for (auto& s : mqs.stanzas) fresh.stanzas.push_back(s);
    mqs = fresh;
  }
  QmgrEntry e{name, prefix, DirectoryName(name)};
  std::string data_dir = e.DataDir();
  struct stat st{};
  if (::stat(data_dir.c_str(), &st) == 0) return Fail("create: " + data_dir + " already exists");
  if (!MakeDirs(data_dir + "/errors")) return Fail("create: mkdir " + data_dir + ": " + std::strerror(errno));
  IniFile qm;
  IniStanza& log = qm.Add("Log");
  log.Set("LogPrimaryFiles", "3");
  log.Set("LogSecondaryFiles", "2");
  log.Set("LogFilePages", "1024");
  log.Set("LogType", "CIRCULAR");
  log.Set("LogBufferPages", "0");
  log.Set("LogPath", g_root + "/log/" + e.directory + "/");
  IniStanza& tcp = qm.Add("TCP");
  tcp.Set("Port", std::to_string(port));
  if (!WriteFileAtomic(data_dir + "/qm.ini", qm.Format()))
    return Fail("create: write " + data_dir + "/qm.ini: " + std::strerror(errno));
  AppendLog(data_dir, "AMQ8001I: Queue manager '" + name + "' created.");
  IniStanza& s = mqs.Add("QueueManager");
  s.Set("Name", name);
  s.Set("Prefix", prefix);
  s.Set("Directory", e.directory);
  if (make_default) {
    IniStanza* d = mqs.Find("DefaultQueueManager");
    if (d == nullptr) d = &mqs.Add("DefaultQueueManager");
    d->Set("Name", name);
  }
  if (!WriteFileAtomic(MqsIniPath(g_root), mqs.Format()))
    return Fail("create: write " + MqsIniPath(g_root) + ": " + std::strerror(errno));
  printf("queue manager %s created in %s\n", name.c_str(), data_dir.c_str());
  return 0;
}

int Delete(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("delete: usage: delete QMGR");
  std::string name = args[0];
  std::vector<uint8_t> bytes;
  if (Control(kOpCtlStatus, ControlRequest{}, &bytes) == 0) {
    ReplyHead head;
    std::vector<QmgrStatus> list;
    if (DecodeStatus(bytes, &head, &list))
      for (const auto& st : list)
        if (st.name == name && st.state != 0) return Fail("delete: queue manager " + name + " is running");
  }
  MqsLock lock;
  IniFile mqs = ReadMqsIni(g_root);
  std::optional<QmgrEntry> e = FindQmgr(mqs, name);
  if (!e) return Fail("delete: queue manager " + name + " does not exist");
  if (!RemoveTree(e->DataDir())) return Fail("delete: remove " + e->DataDir() + ": " + std::strerror(errno));
  IniFile out;
  for (auto& s : mqs.stanzas) {
    if (EqualsNoCase(s.name, "QueueManager") && s.Get("Name") == name) continue;
    if (EqualsNoCase(s.name, "DefaultQueueManager") && s.Get("Name") == name) continue;
    out.stanzas.push_back(s);
  }
  if (!WriteFileAtomic(MqsIniPath(g_root), out.Format()))
    return Fail("delete: write " + MqsIniPath(g_root) + ": " + std::strerror(errno));
  printf("queue manager %s deleted\n", name.c_str());
  return 0;
}

int List() {
  std::vector<uint8_t> bytes;
  std::vector<QmgrStatus> list;
  ReplyHead head;
  if (Control(kOpCtlStatus, ControlRequest{}, &bytes) != 0 || !DecodeStatus(bytes, &head, &list)) {
    list.clear();
    // No server answers: the list comes from mqs.ini. One that cannot be
    // read (a mistyped -m, another user's installation) is not an empty list.
    if (::access(MqsIniPath(g_root).c_str(), R_OK) != 0) {
      return Fail("list: cannot read " + MqsIniPath(g_root) + ": " + std::strerror(errno));
    }
    for (const auto& e : ListQmgrs(ReadMqsIni(g_root))) {
      QmgrStatus st;
      st.name = e.name;
      st.port = ReadListenerPort(e.DataDir());
      list.push_back(st);
    }
  }
  const char* states[] = {"Ended", "Running", "Quiescing"};
  for (const auto& st : list)
    printf("QMNAME(%s) STATUS(%s) PORT(%d) CONNECTIONS(%d)\n", st.name.c_str(),
           states[st.state >= 0 && st.state <= 2 ? st.state : 0], st.port, st.connections);
  return 0;
}

int Define(const std::vector<std::string>& args) {
  if (args.size() < 2) return Fail("define: usage: define QMGR QUEUE --type TYPE [options]");
  ControlRequest req;
  req.qmgr = args[0];
  auto add_int = [&](MQLONG sel, MQLONG v) {
    Attr a;
    a.selector = sel;
    a.int_value = v;
    req.attrs.push_back(a);
  };
  auto add_str = [&](MQLONG sel, const std::string& v) {
    Attr a;
    a.selector = sel;
    a.is_string = true;
    a.str_value = v;
    req.attrs.push_back(a);
  };
  add_str(MQCA_Q_NAME, args[1]);
  MQLONG type = 0;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& o = args[i];
    bool has_value = i + 1 < args.size();
    std::string v = has_value ? args[i + 1] : "";
    long n = 0;
    auto need_int = [&](MQLONG sel) {
      if (!has_value || !ParseInt(v, &n) || n < std::numeric_limits<MQLONG>::min() ||
          n > std::numeric_limits<MQLONG>::max())
        return false;
      add_int(sel, static_cast<MQLONG>(n));
      ++i;
      return true;
    };
    auto need_str = [&](MQLONG sel) {
      if (!has_value) return false;
      add_str(sel, v);
      ++i;
      return true;
    };
    bool ok = true;
    if (o == "--type" && has_value) {
      type = v == "local" ? MQQT_LOCAL : v == "model" ? MQQT_MODEL : v == "alias" ? MQQT_ALIAS
           : v == "remote" ? MQQT_REMOTE : 0;
      ok = type != 0;
      ++i;
    } else if (o == "--replace") {
      req.mode = 1;
    } else if (o == "--desc") {
      ok = need_str(MQCA_Q_DESC);
    } else if (o == "--maxdepth") {
      ok = need_int(MQIA_MAX_Q_DEPTH);
    } else if (o == "--maxmsgl") {
      ok = need_int(MQIA_MAX_MSG_LENGTH);
    } else if (o == "--defprty") {
      ok = need_int(MQIA_DEF_PRIORITY);
    } else if (o == "--qdepthhi") {
      ok = need_int(MQIA_Q_DEPTH_HIGH_LIMIT);
    } else if (o == "--qdepthlo") {
      ok = need_int(MQIA_Q_DEPTH_LOW_LIMIT);
    } else if (o == "--defpsist" && has_value) {
      ok = v == "yes" || v == "no";
      add_int(MQIA_DEF_PERSISTENCE, v == "yes" ? MQPER_PERSISTENT : MQPER_NOT_PERSISTENT);
      ++i;
    } else if (o == "--share" || o == "--noshare") {
      add_int(MQIA_SHAREABILITY, o == "--share" ? MQQA_SHAREABLE : MQQA_NOT_SHAREABLE);
    } else if (o == "--defsopt" && has_value) {
      ok = v == "shared" || v == "exclusive";
      add_int(MQIA_DEF_INPUT_OPEN_OPTION, v == "shared" ? MQOO_INPUT_SHARED : MQOO_INPUT_EXCLUSIVE);
      ++i;
    } else if (o == "--deftype" && has_value) {
      ok = v == "tempdyn" || v == "permdyn";
      add_int(MQIA_DEFINITION_TYPE, v == "tempdyn" ? MQQDT_TEMPORARY_DYNAMIC : MQQDT_PERMANENT_DYNAMIC);
      ++i;
    } else if ((o == "--get" || o == "--put") && has_value) {
      ok = v == "enabled" || v == "disabled";
      add_int(o == "--get" ? MQIA_INHIBIT_GET : MQIA_INHIBIT_PUT, v == "disabled" ? 1 : 0);
      ++i;
    } else if (o == "--trigger" || o == "--notrigger") {
      add_int(MQIA_TRIGGER_CONTROL, o == "--trigger" ? MQTC_ON : MQTC_OFF);
    } else if (o == "--trigdata") {
      ok = need_str(MQCA_TRIGGER_DATA);
    } else if (o == "--target") {
      ok = need_str(MQCA_BASE_Q_NAME);
    } else if (o == "--rname") {
      ok = need_str(MQCA_REMOTE_Q_NAME);
    } else if (o == "--rqmname") {
      ok = need_str(MQCA_REMOTE_Q_MGR_NAME);
    } else if (o == "--xmitq") {
      ok = need_str(MQCA_XMIT_Q_NAME);
    } else {
      ok = false;
    }
    if (!ok) return Fail("define: bad option " + o);
  }
  if (type == 0) return Fail("define: --type local|model|alias|remote is required");
  add_int(MQIA_Q_TYPE, type);
  return SimpleControl(kOpCtlDefineQueue, req);
}

int EditDeny(const std::vector<std::string>& args, bool deny) {
  if (args.size() != 2) return Fail(std::string(deny ? "deny" : "allow") + ": usage: QMGR USER");
  std::optional<QmgrEntry> e = FindQmgr(ReadMqsIni(g_root), args[0]);
  if (!e) return Fail("queue manager " + args[0] + " does not exist");
  std::string user = args[1].substr(0, 12);
  std::string path = e->DataDir() + "/authority.deny";
  std::string text, out;
  ReadFile(path, &text);
  size_t pos = 0;
  bool present = false;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (line == user) {
      present = true;
      if (!deny) continue;
    }
    out += line + "\n";
  }
  if (deny && !present) out += user + "\n";
  if (!WriteFileAtomic(path, out)) return Fail("write " + path + ": " + std::strerror(errno));
  ControlRequest req;
  req.qmgr = args[0];
  std::vector<uint8_t> bytes;
  Control(kOpCtlReloadAuthority, req, &bytes);  // not running: read at its next start
  printf("%s %s as alternate user of %s\n", deny ? "denied" : "allowed", user.c_str(), args[0].c_str());
  return 0;
}

// Writes the keys an MQ installation keeps under HKEY_LOCAL_MACHINE
// "SOFTWARE\\IBM\\MQSeries\\CurrentVersion", from mqs.ini and each qm.ini.
int WriteRegistry() {
  const std::string base = "SOFTWARE\\IBM\\MQSeries\\CurrentVersion";
  long failed = OS_REG_SUCCESS;
  auto set = [&](const std::string& key, const std::vector<std::pair<std::string, std::string>>& values) {
    HKEY k = nullptr;
    long rc = osRegCreateKey(HKEY_LOCAL_MACHINE, key.c_str(), &k);
    if (rc != OS_REG_SUCCESS) {
      failed = rc;
      return;
    }
    for (const auto& [name, value] : values)
      if ((rc = osRegSetString(k, name.c_str(), value.c_str())) != OS_REG_SUCCESS) failed = rc;
    osRegCloseKey(k);
  };
  IniFile mqs = ReadMqsIni(g_root);
  set(base, {{"FilePath", g_root}, {"WorkPath", g_root}});
  HKEY k = nullptr;
  if (osRegCreateKey(HKEY_LOCAL_MACHINE, base.c_str(), &k) == OS_REG_SUCCESS) {
    if (osRegSetInt(k, "MQServerVersion", 5) != OS_REG_SUCCESS || osRegSetInt(k, "MQServerRelease", 3) != OS_REG_SUCCESS)
      failed = OS_REG_IO_FAILED;
    osRegCloseKey(k);
  }
  const IniStanza* all = mqs.Find("AllQueueManagers");
  set(base + "\\Configuration\\AllQueueManagers", {{"DefaultPrefix", all != nullptr ? all->Get("DefaultPrefix") : g_root}});
  if (const IniStanza* log = mqs.Find("LogDefaults")) set(base + "\\Configuration\\LogDefaults", log->entries);
  for (const auto& e : ListQmgrs(mqs)) {
    std::string key = base + "\\Configuration\\QueueManager\\" + e.directory;
    set(key, {{"Prefix", e.prefix}, {"Directory", e.directory}});
    std::string text;
    if (!ReadFile(e.DataDir() + "/qm.ini", &text)) continue;
    IniFile qm_ini = IniFile::Parse(text);
    if (const IniStanza* log = qm_ini.Find("Log")) set(key + "\\Log", log->entries);
  }
  if (failed != OS_REG_SUCCESS) return Fail("registry: writing the keys failed with " + std::to_string(failed));
  char hive[4096];
  if (osRegHiveFile(HKEY_LOCAL_MACHINE, hive, sizeof hive) == OS_REG_SUCCESS)
    printf("registry keys written to %s\n", hive);
  return 0;
}

// Writes, for each queue manager with a known listener port, the key the
// suite's agent reads to reach it as an MQ client:
// HKEY_LOCAL_MACHINE "Software\\Brackwin\\Harrowline Compact\\Queue Managers\\<name>"
// ("." written as "!", as MQ writes names into keys). A queue manager
// created with port 0 has its port only once it has run.
int WriteClientKeys() {
  const std::string base = "Software\\Brackwin\\Harrowline Compact\\Queue Managers";
  IniFile mqs = ReadMqsIni(g_root);
  int written = 0;
  for (const auto& e : ListQmgrs(mqs)) {
    int port = ReadListenerPort(e.DataDir());
    if (port <= 0) {
      printf("%s: no listener port yet (start it first); no key written\n", e.name.c_str());
      continue;
    }
    std::string key_name = e.name;
    for (char& c : key_name)
      if (c == '.') c = '!';
    const std::string connection = "127.0.0.1(" + std::to_string(port) + ")";
    HKEY k = nullptr;
    long rc = osRegCreateKey(HKEY_LOCAL_MACHINE, (base + "\\" + key_name).c_str(), &k);
    if (rc == OS_REG_SUCCESS) {
      rc = osRegSetString(k, "Channel Name", "SYSTEM.DEF.SVRCONN");
      if (rc == OS_REG_SUCCESS) rc = osRegSetString(k, "Connection Name", connection.c_str());
      osRegCloseKey(k);
    }
    if (rc != OS_REG_SUCCESS) return Fail("clients: writing the key of " + e.name + " failed with " + std::to_string(rc));
    printf("%s: SYSTEM.DEF.SVRCONN at %s\n", e.name.c_str(), connection.c_str());
    ++written;
  }
  if (written == 0) printf("no client-connection keys written\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  g_root = InstallRoot();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "-m") {
    g_root = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0] == "help" || args[0] == "-h" || args[0] == "--help") {
    printf("%s", kHelp);
    return args.empty() ? 2 : 0;
  }
  std::string cmd = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  // A word too many is a mistake (a queue manager named where none is
  // taken), not something to pass over in silence.
  for (const char* bare : {"list", "registry", "clients", "server", "shutdown"}) {
    if (cmd == bare && !rest.empty()) return Fail(cmd + ": takes no arguments, not '" + rest[0] + "'");
  }
  if (cmd == "create") return Create(rest);
  if (cmd == "delete") return Delete(rest);
  if (cmd == "list") return List();
  if (cmd == "define") return Define(rest);
  if (cmd == "deny" || cmd == "allow") return EditDeny(rest, cmd == "deny");
  if (cmd == "server") return StartServer();
  if (cmd == "registry") return WriteRegistry();
  if (cmd == "clients") return WriteClientKeys();
  if (cmd == "shutdown") {
    if (!ServerRunning()) {
      printf("no server runs\n");
      return 0;
    }
    return SimpleControl(kOpCtlShutdown, ControlRequest{});
  }
  if (cmd == "start") {
    if (rest.size() != 1) return Fail("start: usage: start QMGR");
    if (!FindQmgr(ReadMqsIni(g_root), rest[0])) return Fail("start: queue manager " + rest[0] + " does not exist");
    if (int rc = StartServer(); rc != 0) return rc;
    ControlRequest req;
    req.qmgr = rest[0];
    return SimpleControl(kOpCtlStart, req);
  }
  if (cmd == "stop") {
    if (rest.empty()) return Fail("stop: usage: stop QMGR [-i] [-w seconds]");
    ControlRequest req;
    req.qmgr = rest[0];
    req.wait_ms = 30000;
    for (size_t i = 1; i < rest.size(); ++i) {
      long n = 0;
      if (rest[i] == "-i") {
        req.mode = 1;
      } else if (rest[i] == "-w") {
        if (i + 1 >= rest.size() || !ParseInt(rest[i + 1], &n) || n < 0 || n >= 86400) {
          return Fail("stop: -w needs seconds from 0 to 86399");
        }
        req.wait_ms = static_cast<MQLONG>(n * 1000);
        ++i;
      } else {
        return Fail("stop: unknown argument " + rest[i]);
      }
    }
    return SimpleControl(kOpCtlStop, req);
  }
  if (cmd == "delete-queue") {
    if (rest.size() < 2) return Fail("delete-queue: usage: delete-queue QMGR QUEUE [--purge]");
    ControlRequest req;
    req.qmgr = rest[0];
    req.name = rest[1];
    if (rest.size() > 3 || (rest.size() == 3 && rest[2] != "--purge")) {
      return Fail("delete-queue: unknown argument " + rest.back());
    }
    req.mode = rest.size() == 3 ? 1 : 0;
    return SimpleControl(kOpCtlDeleteQueue, req);
  }
  if (cmd == "cmdserver") {
    const char* usage = "cmdserver: usage: cmdserver QMGR stop|start|hang";
    if (rest.size() != 2) return Fail(usage);
    ControlRequest req;
    req.qmgr = rest[0];
    if (rest[1] == "stop")
      req.mode = 0;
    else if (rest[1] == "start")
      req.mode = 1;
    else if (rest[1] == "hang")
      req.mode = 2;
    else
      return Fail(usage);
    return SimpleControl(kOpCtlCommandServer, req);
  }
  fprintf(stderr, "mqsimctl: unknown command '%s'\n%s", cmd.c_str(), kHelp);
  return 2;
}
