// Clusters among the queue managers of one server. A queue manager is a
// member of every cluster named by one of its cluster-receiver channels
// (CLUSTER, or the names of CLUSNL); its REPOS or REPOSNL makes it a full
// repository of those clusters. Each member lists the members as it sees
// them: itself by its cluster receiver, the others as cluster senders,
// without the ones it has force-removed (RESET CLUSTER) until it refreshes,
// each marked suspended while it has suspended itself. Queues with a
// CLUSTER attribute are the cluster queues every member lists.
#include "clusters.h"

#include <algorithm>
#include <memory>

#include "common/install.h"

namespace mqsim::server {

class ClusterView {
 public:
  explicit ClusterView(QueueManager& qm) : qm_(qm) {}

  // The clusters a definition names directly or through a namelist.
  static std::vector<std::string> Named(QueueManager& qm, const std::string& cluster, const std::string& namelist) {
    std::vector<std::string> out;
    if (!cluster.empty()) out.push_back(cluster);
    if (!namelist.empty()) {
      auto nl = qm.objects().namelists.find(namelist);
      if (nl != qm.objects().namelists.end())
        for (const auto& n : nl->second.List(MQCA_NAMES)) out.push_back(n);
    }
    return out;
  }

  // The cluster receiver by which `member` joins `cluster`; null when none.
  static const ObjectDef* Receiver(QueueManager& member, const std::string& cluster) {
    for (const auto& [name, def] : member.objects().channels) {
      if (def.subtype != MQCHT_CLUSRCVR) continue;
      for (const auto& c : Named(member, def.Str(MQCA_CLUSTER_NAME), def.Str(MQCA_CLUSTER_NAMELIST)))
        if (c == cluster) return &def;
    }
    return nullptr;
  }

  std::vector<QueueManager*> Members(const std::string& cluster) {
    std::vector<QueueManager*> out;
    if (qm_.host() == nullptr) return out;
    for (QueueManager* m : qm_.host()->AllRunning()) {
      if (Receiver(*m, cluster) == nullptr) continue;
      if (m != &qm_ && qm_.objects().reset_members.count({cluster, m->name()})) continue;
      out.push_back(m);
    }
    return out;
  }

  std::vector<std::string> MyClusters() {
    std::vector<std::string> out;
    for (const auto& [name, def] : qm_.objects().channels) {
      if (def.subtype != MQCHT_CLUSRCVR) continue;
      for (const auto& c : Named(qm_, def.Str(MQCA_CLUSTER_NAME), def.Str(MQCA_CLUSTER_NAMELIST)))
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
  }

  static bool Repository(QueueManager& m, const std::string& cluster) {
    const ObjectDef& q = m.objects().qmgr;
    for (const auto& c : Named(m, q.Str(MQCA_REPOSITORY_NAME), q.Str(MQCA_REPOSITORY_NAMELIST)))
      if (c == cluster) return true;
    return false;
  }

  void AddMember(QueueManager& m, const std::string& cluster, const ObjectDef& rcvr, const std::set<MQLONG>* only,
                 PcfBuilder& b) {
    auto want = [&](MQLONG id) { return only == nullptr || only->count(id) > 0; };
    b.Str(MQCA_CLUSTER_Q_MGR_NAME, m.name(), 48);
    b.Str(MQCA_CLUSTER_NAME, cluster, 48);
    b.Str(MQCACH_CHANNEL_NAME, rcvr.name, 20);
    if (want(MQCA_Q_MGR_IDENTIFIER)) b.Str(MQCA_Q_MGR_IDENTIFIER, m.objects().qmgr.Str(MQCA_Q_MGR_IDENTIFIER), 48);
    MQLONG deftype = &m == &qm_ ? MQQMDT_CLUSTER_RECEIVER
                     : qm_.objects().channels.count(rcvr.name) ? MQQMDT_EXPLICIT_CLUSTER_SENDER
                                                              : MQQMDT_AUTO_CLUSTER_SENDER;
    if (want(MQIACF_Q_MGR_DEFINITION_TYPE)) b.Int(MQIACF_Q_MGR_DEFINITION_TYPE, deftype);
    if (want(MQIACF_Q_MGR_TYPE))
      b.Int(MQIACF_Q_MGR_TYPE, Repository(m, cluster) ? MQQMT_REPOSITORY : MQQMT_NORMAL);
    if (want(MQIACF_SUSPEND))
      b.Int(MQIACF_SUSPEND, m.objects().suspended_clusters.count(cluster) ? MQSUS_YES : MQSUS_NO);
    if (want(MQIACH_CHANNEL_STATUS)) {
      // The cluster sender to a member shows what it does once it ran;
      // until then the member is taken as reached when it joined.
      MQLONG state = &m == &qm_ ? MQCHS_INACTIVE : MQCHS_RUNNING;
      auto rt = qm_.objects().runtime.find(rcvr.name);
      if (&m != &qm_ && rt != qm_.objects().runtime.end() && rt->second.type == MQCHT_CLUSSDR &&
          rt->second.state != MQCHS_INACTIVE)
        state = rt->second.state;
      b.Int(MQIACH_CHANNEL_STATUS, state);
    }
    if (want(MQCA_CLUSTER_DATE)) b.Str(MQCA_CLUSTER_DATE, rcvr.Str(MQCA_ALTERATION_DATE), 12);
    if (want(MQCA_CLUSTER_TIME)) b.Str(MQCA_CLUSTER_TIME, rcvr.Str(MQCA_ALTERATION_TIME), 8);
    for (const ObjAttr& a : AttrsOf(MQOT_CHANNEL)) {
      if (a.id == MQCACH_CHANNEL_NAME || a.id == MQIACH_CHANNEL_TYPE || a.id == MQCA_CLUSTER_NAME ||
          a.id == MQCA_CLUSTER_NAMELIST || a.id == MQIACH_CURRENT_SEQ_NUMBER || a.id == MQCACH_PASSWORD)
        continue;
      if (!AppliesTo(a, MQCHT_CLUSRCVR) || !want(a.id)) continue;
      if (a.type == AttrType::kInt)
        b.Int(a.id, rcvr.Int(a.id));
      else if (a.type == AttrType::kStr)
        b.Str(a.id, rcvr.Str(a.id), a.width);
    }
  }

  void Inquire(const PcfCommand& cmd, PcfReplies* out) {
    const PcfParam* name = cmd.Find(MQCA_CLUSTER_Q_MGR_NAME);
    if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_CLUSTER_Q_MGR_NAME);
    const PcfParam* cluster = cmd.Find(MQCA_CLUSTER_NAME);
    const PcfParam* channel = cmd.Find(MQCACH_CHANNEL_NAME);
    std::unique_ptr<std::set<MQLONG>> only;
    if (const PcfParam* attrs = cmd.Find(MQIACF_CLUSTER_Q_MGR_ATTRS)) {
      if (std::find(attrs->int_list.begin(), attrs->int_list.end(), MQIACF_ALL) == attrs->int_list.end())
        only = std::make_unique<std::set<MQLONG>>(attrs->int_list.begin(), attrs->int_list.end());
    }
    for (const std::string& c : MyClusters()) {
      if (cluster != nullptr && !NameMatches(c, cluster->str_value)) continue;
      for (QueueManager* m : Members(c)) {
        if (!NameMatches(m->name(), name->str_value)) continue;
        const ObjectDef* rcvr = Receiver(*m, c);
        if (channel != nullptr && !NameMatches(rcvr->name, channel->str_value)) continue;
        AddMember(*m, c, *rcvr, only.get(), out->Add());
      }
    }
    if (out->empty()) out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
  }

  // Cluster queues of every member of this queue manager's clusters.
  template <typename Fn>
  void ForQueues(const std::string& pattern, Fn fn) {
    for (const std::string& c : MyClusters()) {
      for (QueueManager* m : Members(c)) {
        m->ForEachQueue(pattern, [&](const Queue& q) {
          if (q.def.type == MQQT_MODEL || q.def.type == MQQT_CLUSTER) return;
          auto clusters = Named(*m, q.def.Str(MQCA_CLUSTER_NAME), q.def.Str(MQCA_CLUSTER_NAMELIST));
          if (std::find(clusters.begin(), clusters.end(), c) != clusters.end()) fn(*m, c, q);
        });
      }
    }
  }

  QueueManager& qm_;
};

namespace {

MQLONG ClusterQueueType(MQLONG type) {
  switch (type) {
    case MQQT_ALIAS: return MQCQT_ALIAS_Q;
    case MQQT_REMOTE: return MQCQT_REMOTE_Q;
    default: return MQCQT_LOCAL_Q;
  }
}

}  // namespace

void ClusterCommand(QueueManager& qm, const PcfCommand& cmd, PcfReplies* out) {
  ClusterView view(qm);
  if (cmd.command == MQCMD_INQUIRE_CLUSTER_Q_MGR) return view.Inquire(cmd, out);
  const PcfParam* cluster = cmd.Find(MQCA_CLUSTER_NAME);
  std::vector<std::string> clusters;
  if (cluster != nullptr) clusters.push_back(cluster->str_value);
  if (const PcfParam* nl = cmd.Find(MQCA_CLUSTER_NAMELIST)) {
    auto more = ClusterView::Named(qm, "", nl->str_value);
    clusters.insert(clusters.end(), more.begin(), more.end());
  }
  if (clusters.empty()) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_CLUSTER_NAME);
  auto mine = view.MyClusters();
  for (const auto& c : clusters)
    if (std::find(mine.begin(), mine.end(), c) == mine.end()) return out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
  AdminObjects& objects = qm.objects();
  switch (cmd.command) {
    case MQCMD_SUSPEND_Q_MGR_CLUSTER:
      for (const auto& c : clusters) objects.suspended_clusters.insert(c);
      break;
    case MQCMD_RESUME_Q_MGR_CLUSTER:
      for (const auto& c : clusters) objects.suspended_clusters.erase(c);
      break;
    case MQCMD_REFRESH_CLUSTER:
      // What this queue manager knew is learnt again: members it removed
      // come back.
      for (auto it = objects.reset_members.begin(); it != objects.reset_members.end();)
        it = std::find(clusters.begin(), clusters.end(), it->first) != clusters.end() ? objects.reset_members.erase(it)
                                                                                      : std::next(it);
      break;
    case MQCMD_RESET_CLUSTER: {
      const PcfParam* member = cmd.Find(MQCA_Q_MGR_NAME);
      if (member == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_MGR_NAME);
      if (!ClusterView::Repository(qm, clusters[0])) return out->Fail(MQRCCF_COMMAND_FAILED);
      if (member->str_value == qm.name()) return out->Fail(MQRCCF_ATTR_VALUE_ERROR, MQCA_Q_MGR_NAME);
      objects.reset_members.insert({clusters[0], member->str_value});
      break;
    }
    default:
      return out->Fail(MQRCCF_CFH_COMMAND_ERROR);
  }
  out->Add();
}

void AddClusterQueues(QueueManager& qm, const std::string& pattern, const std::set<MQLONG>* only,
                      PcfReplies* out) {
  ClusterView view(qm);
  auto want = [&](MQLONG id) { return only == nullptr || only->count(id) > 0; };
  view.ForQueues(pattern, [&](QueueManager& m, const std::string& c, const Queue& q) {
    PcfBuilder& b = out->Add();
    b.Str(MQCA_Q_NAME, q.def.name, 48);
    b.Int(MQIA_Q_TYPE, MQQT_CLUSTER);
    b.Str(MQCA_CLUSTER_NAME, c, 48);
    if (want(MQCA_CLUSTER_Q_MGR_NAME)) b.Str(MQCA_CLUSTER_Q_MGR_NAME, m.name(), 48);
    if (want(MQCA_Q_MGR_IDENTIFIER)) b.Str(MQCA_Q_MGR_IDENTIFIER, m.objects().qmgr.Str(MQCA_Q_MGR_IDENTIFIER), 48);
    if (want(MQIA_CLUSTER_Q_TYPE)) b.Int(MQIA_CLUSTER_Q_TYPE, ClusterQueueType(q.def.type));
    if (want(MQCA_Q_DESC)) b.Str(MQCA_Q_DESC, q.def.Str(MQCA_Q_DESC), 64);
    if (want(MQIA_DEF_BIND)) b.Int(MQIA_DEF_BIND, q.def.Int(MQIA_DEF_BIND));
    if (want(MQIA_DEF_PERSISTENCE)) b.Int(MQIA_DEF_PERSISTENCE, q.def.Int(MQIA_DEF_PERSISTENCE));
    if (want(MQIA_DEF_PRIORITY)) b.Int(MQIA_DEF_PRIORITY, q.def.Int(MQIA_DEF_PRIORITY));
    if (want(MQIA_INHIBIT_PUT)) b.Int(MQIA_INHIBIT_PUT, q.def.Int(MQIA_INHIBIT_PUT));
    if (want(MQCA_ALTERATION_DATE)) b.Str(MQCA_ALTERATION_DATE, q.def.Str(MQCA_ALTERATION_DATE), 12);
    if (want(MQCA_ALTERATION_TIME)) b.Str(MQCA_ALTERATION_TIME, q.def.Str(MQCA_ALTERATION_TIME), 8);
    if (want(MQCA_CLUSTER_DATE)) b.Str(MQCA_CLUSTER_DATE, q.def.Str(MQCA_ALTERATION_DATE), 12);
    if (want(MQCA_CLUSTER_TIME)) b.Str(MQCA_CLUSTER_TIME, q.def.Str(MQCA_ALTERATION_TIME), 8);
  });
}

const ObjectDef* ClusterReceiverOf(QueueManager& qm, QueueManager& member) {
  if (&member == &qm) return nullptr;
  ClusterView view(qm);
  for (const std::string& c : view.MyClusters())
    for (QueueManager* m : view.Members(c))
      if (m == &member) return ClusterView::Receiver(member, c);
  return nullptr;
}

bool IsClusterMember(QueueManager& qm, const std::string& member) {
  ClusterView view(qm);
  for (const std::string& c : view.MyClusters())
    for (QueueManager* m : view.Members(c))
      if (m != &qm && m->name() == member) return true;
  return false;
}

std::string ClusterHostOf(QueueManager& qm, const std::string& queue) {
  std::string host;
  ClusterView(qm).ForQueues(queue, [&](QueueManager& m, const std::string&, const Queue&) {
    if (host.empty() && &m != &qm) host = m.name();
  });
  return host;
}

std::vector<std::string> ClusterQueueNames(QueueManager& qm, const std::string& pattern) {
  std::vector<std::string> names;
  ClusterView(qm).ForQueues(pattern, [&](QueueManager&, const std::string&, const Queue& q) {
    if (std::find(names.begin(), names.end(), q.def.name) == names.end()) names.push_back(q.def.name);
  });
  return names;
}

}  // namespace mqsim::server
