// pcf_id_map.h: the parameter id -> index position table of each PCF
// message, kept beside the message (the message's public layout has no room
// for it) and rebuilt whenever the message is indexed.
#ifndef PCFCORE_SRC_PCF_ID_MAP_H_
#define PCFCORE_SRC_PCF_ID_MAP_H_

#include <cstdint>

#include "pcfcore/pcf_message.h"

namespace pcfcore {

class IdTable {
 public:
  IdTable();
  // Empties the table and marks it unusable until Seal().
  void Clear();
  // Records position for id unless id is already there: the first
  // occurrence wins, as a scan from position 1 would find it.
  void Add(MQLONG id, int position);
  void Seal() { sealed_ = true; }
  void Unseal() { sealed_ = false; }
  // The position of id; 0 when absent; -1 when the table is not sealed.
  int Find(MQLONG id) const;

 private:
  struct Entry {
    MQLONG id;
    int position;  // 0: empty
  };
  static constexpr int kSlots = 512;  // power of two, over 3x the parameters
  static_assert(kSlots > 3 * PCF_MAX_PARAMETERS);
  Entry entries_[kSlots];
  uint16_t used_[PCF_MAX_PARAMETERS];  // the filled entries, for Clear()
  int used_count_ = 0;
  bool sealed_ = false;
};

// The table of message, created empty on first use. The pointer stays valid
// until ForgetIdMap(message); only message's own thread fills it.
IdTable* IdMapOf(const mqPcfMessage* message);
// The position of the first record with id; 0 when the table holds no such
// id; -1 when message has no usable table (never indexed, or its bytes
// changed in a way that made the table useless).
int FindIdPosition(const mqPcfMessage* message, MQLONG id);
// Marks message's table unusable (its body was rewritten in place).
void DropIdMap(const mqPcfMessage* message);
// Frees message's table (the message is being freed).
void ForgetIdMap(const mqPcfMessage* message);

}  // namespace pcfcore

#endif  // PCFCORE_SRC_PCF_ID_MAP_H_
