// mq_queue.h: the queue operations the message server makes, in one place.
//
// Every queue operation of the library goes through Queue, a small RAII
// owner of one qmlink queue object (MQueue) on the connection the caller
// handed in; it closes and frees the object when destroyed. An MqMessage is
// a pcfcore generic Message (136-byte header, then the MQ data) with its
// descriptor, grown on demand.
//
// Threads: a Queue and an MqMessage belong to the request that made them.
#ifndef MSGOPS_MQ_QUEUE_H_
#define MSGOPS_MQ_QUEUE_H_

#include <mqi/mqi.h>
#include <pcfcore/message.h>
#include <qmlink/mq_queue.h>

#include <cstdint>
#include <span>
#include <string>

namespace msgops {

class MqMessage {
 public:
  explicit MqMessage(MQLONG capacity = 4096);
  ~MqMessage();
  MqMessage(const MqMessage&) = delete;
  MqMessage& operator=(const MqMessage&) = delete;

  MQMD& md() { return message_.Md; }
  const MQMD& md() const { return message_.Md; }
  uint8_t* data() { return message_.Payload; }
  std::span<const uint8_t> view() const { return {message_.Payload, length()}; }
  size_t length() const { return static_cast<size_t>(message_.UsedLength - MESSAGE_HEADER_LENGTH); }
  size_t capacity() const { return static_cast<size_t>(message_.Capacity - MESSAGE_HEADER_LENGTH); }
  // Room for `bytes` of data, contents kept; false when memory runs out.
  bool Reserve(size_t bytes);
  // REQUIRES: length <= capacity().
  void SetLength(size_t length);
  bool ok() const { return message_.Storage != nullptr; }
  Message* raw() { return &message_; }

 private:
  Message message_{};
};

// IBM's default descriptor, version 2.
void DefaultMd(MQMD* md);

class Queue {
 public:
  Queue(MQHCONN hconn, std::string name, std::string qmgr_name = "");
  ~Queue();
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;

  // MQOPEN with the options plus MQOO_FAIL_IF_QUIESCING, and plus
  // MQOO_ALTERNATE_USER_AUTHORITY when alt_user is not blank.
  bool Open(MQLONG options, const std::string& alt_user);
  void Close();
  bool is_open() const { return queue_ != nullptr && qqIsOpen(queue_) == 1; }

  // MQGET into message (whose md carries the ids to match). A message
  // longer than the buffer grows the buffer and is got again.
  bool Get(MqMessage* message, MQLONG options, MQLONG match_options, MQLONG wait_ms = 0);
  // MQPUT on an open queue, else MQPUT1 with this queue's names.
  bool Put(MqMessage* message, MQLONG options) { return Put(message->raw(), options); }
  bool Put(Message* message, MQLONG options);
  // The alternate user of an MQPUT1 on this (closed) queue.
  void SetAlternateUser(const std::string& user);
  // Current and maximum depth (MQINQ on the open queue).
  bool Stats(MQLONG* depth, MQLONG* max_depth);
  // True when the queue is open for input by someone (its open-input count).
  bool IsOpenInput();

  MQLONG reason() const { return queue_ != nullptr ? queue_->reason : MQRC_RESOURCE_PROBLEM; }
  const std::string& name() const { return name_; }

 private:
  MQueue* queue_;
  std::string name_;
};

// Writes text into a blank-padded MQ character field.
void SetField(char* field, size_t length, const std::string& text);

}  // namespace msgops

#endif  // MSGOPS_MQ_QUEUE_H_
