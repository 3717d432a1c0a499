// body_index.h: whether a PCF body a peer wrote indexes, as a reader of
// ours would index it. Header only: its users link pcfcore, the rest of
// testsupport does not.
#ifndef TESTSUPPORT_BODY_INDEX_H_
#define TESTSUPPORT_BODY_INDEX_H_

#include <cstring>

#include "pcfcore/pcfcore.h"
#include "testsupport/raw_peer.h"

namespace harrow::testsupport {

enum class BodyIndex { kIndexes, kDoesNotIndex, kNoMemory };

// Copies body into a new message behind an empty message header and
// indexes it.
inline BodyIndex IndexBody(const Bytes& body) {
  mqPcfMessage* m = CreatePcfMessage(0, MQCFT_RESPONSE, 0);
  if (m == nullptr || !SizePcfMessage(m, static_cast<MQLONG>(body.size()))) {
    if (m != nullptr) DeletePcfMessage(m);
    return BodyIndex::kNoMemory;
  }
  std::memcpy(m->Body.Payload, body.data(), body.size());
  m->Body.UsedLength = static_cast<MQLONG>(kMessageHeaderBytes + body.size());
  const bool indexed = RawToPcf(m) == 1;
  DeletePcfMessage(m);
  return indexed ? BodyIndex::kIndexes : BodyIndex::kDoesNotIndex;
}

}  // namespace harrow::testsupport

#endif  // TESTSUPPORT_BODY_INDEX_H_
