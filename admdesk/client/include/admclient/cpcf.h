// cpcf.h: CPCF, the console's connection table of group managers and its
// parameter appenders.
//
// The table: slots 1 to kMaxGroupManagers (slot 0 is not used), each with a
// connected flag, an authenticate flag (frames signed and checked) and the
// group manager's TCP node; one signing credential is shared by all slots.
// CPCF owns the nodes it holds and the credential: the destructor deletes
// the nodes still in the table and releases the credential.
//
// The appenders add one parameter to a PCF message with the console's rules
// for strings; a parameter the message refuses (it is full) is simply
// missing, and the appender returns 0. One thread.
#ifndef ADMCLIENT_CPCF_H_
#define ADMCLIENT_CPCF_H_

#include <string>

#include "netcore/netcore.h"
#include "pcfcore/pcfcore.h"
#include "signcore/signcore.h"

namespace admclient {

constexpr int kMaxGroupManagers = 29;
constexpr int kConnectionSlots = kMaxGroupManagers + 1;

class CPCF {
 public:
  CPCF();
  ~CPCF();
  CPCF(const CPCF&) = delete;
  CPCF& operator=(const CPCF&) = delete;

  // true for 1..kMaxGroupManagers.
  static bool IsSlot(int slot) { return slot >= 1 && slot <= kMaxGroupManagers; }
  // Deletes the slot's node (if any); connected 0, node null.
  void CloseSlot(int slot);
  // The authenticate flag of the slot whose node uses the same socket as
  // node; 0 when no slot holds it. Slots without a node are skipped.
  int GetAuthenticateForNode(const mqnMQNodeData* node) const;
  // The slot holding node (same socket), 0 when none.
  int SlotOfNode(const mqnMQNodeData* node) const;

  // The value with trailing white space removed; an empty result is sent as
  // one blank.
  static int AddStrParm(const std::string& value, MQLONG id, mqPcfMessage* message);
  static int AddStrParmToBoth(const std::string& value, MQLONG id, int length,
                              mqPcfMessage* message1, mqPcfMessage* message2);
  // Appends value (cut to length characters; empty as " ") only when it
  // differs from old's string value with its trailing blanks removed.
  static int AddStrParmIfChanged(const std::string& value, MQLONG id, int length,
                                 const Message* old, mqPcfMessage* message);
  // The value unchanged: no trimming, no blank for an empty value.
  static int AddRawStrParm(const char* value, MQLONG id, mqPcfMessage* message);
  static int AddRawStrParmToBoth(const char* value, MQLONG id, mqPcfMessage* message1,
                                 mqPcfMessage* message2);
  static int AddCopiedStrParm(const std::string& value, MQLONG id, mqPcfMessage* message);
  static int AddCopiedStrParmToBoth(const std::string& value, MQLONG id,
                                    mqPcfMessage* message1, mqPcfMessage* message2);
  // Copies value into *buffer, then appends it unchanged.
  static int AddStrParmToBuffer(const std::string& value, std::string* buffer, MQLONG id,
                                mqPcfMessage* message);
  static int AddIntParm(MQLONG value, MQLONG id, mqPcfMessage* message);
  static int AddIntParmToBoth(MQLONG value, MQLONG id, mqPcfMessage* message1,
                              mqPcfMessage* message2);
  // Appends value only when old's integer value differs (or cannot be read).
  static int AddIntParmIfChanged(MQLONG value, MQLONG id, const Message* old,
                                 mqPcfMessage* message);
  // A string list of 48-character items: the list right-trimmed and split at
  // ";", "," and blanks (a run of separators counts once); an empty list
  // gives the one item " ".
  static int AddStrListParm(const std::string& list, MQLONG id, mqPcfMessage* message);

  int connected[kConnectionSlots];
  int authenticate[kConnectionSlots];
  mqnMQNodeData* node[kConnectionSlots];
  mqcSignature signature = nullptr;
};

}  // namespace admclient

#endif  // ADMCLIENT_CPCF_H_
