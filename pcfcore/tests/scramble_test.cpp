// Message scrambling: nibble exchange and exclusive or under a key.

#include "pcfcore/scramble.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "pcfcore/convert.h"

namespace {

TEST(ScrambleTest, KeyWhoseBytesCancelOnlyExchangesHalves) {
  // 0x12 ^ 0x34 ^ 0x56 ^ 0x70 = 0x00
  const MQLONG key = 0x12345670;
  unsigned char bytes[] = {0x1F, 0xA5, 0x00, 0xFF};
  EncryptMsg(bytes, 4, key);
  const unsigned char expected[] = {0xF1, 0x5A, 0x00, 0xFF};
  EXPECT_EQ(std::memcmp(bytes, expected, 4), 0);
  DecryptMsg(bytes, 4, key);
  const unsigned char original[] = {0x1F, 0xA5, 0x00, 0xFF};
  EXPECT_EQ(std::memcmp(bytes, original, 4), 0);
}

TEST(ScrambleTest, ExchangeComesFirstWhenScramblingAndLastWhenUnscrambling) {
  // Key bytes 01 00 00 00: mask 0x01. 0x1F -> exchange 0xF1 -> xor 0xF0.
  unsigned char byte = 0x1F;
  EncryptMsg(&byte, 1, 1);
  EXPECT_EQ(byte, 0xF0);
  // Unscrambling 0x1F: xor 0x1E, exchange 0xE1.
  byte = 0x1F;
  DecryptMsg(&byte, 1, 1);
  EXPECT_EQ(byte, 0xE1);
}

TEST(ScrambleTest, RoundTripsAndKeysWithTheSameMaskAgree) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<unsigned char> data(rng() % 300);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    MQLONG key = static_cast<MQLONG>(rng());
    std::vector<unsigned char> copy = data;
    EXPECT_EQ(EncryptMsg(copy.data(), static_cast<MQLONG>(copy.size()), key), 1);
    // Same mask: the key's bytes rearranged.
    MQLONG rotated = static_cast<MQLONG>((static_cast<uint32_t>(key) << 8) | (static_cast<uint32_t>(key) >> 24));
    std::vector<unsigned char> other = data;
    EncryptMsg(other.data(), static_cast<MQLONG>(other.size()), rotated);
    EXPECT_EQ(copy, other);
    EXPECT_EQ(DecryptMsg(copy.data(), static_cast<MQLONG>(copy.size()), key), 1);
    EXPECT_EQ(copy, data);
  }
}

TEST(ScrambleTest, NonPositiveLengthDoesNothingAndSucceeds) {
  unsigned char byte = 0x12;
  EXPECT_EQ(EncryptMsg(&byte, 0, 5), 1);
  EXPECT_EQ(EncryptMsg(&byte, -3, 5), 1);
  EXPECT_EQ(DecryptMsg(&byte, -1, 5), 1);
  EXPECT_EQ(byte, 0x12);
}

TEST(ScrambleTest, DecryptLongUnscramblesTheValuesBytes) {
  const MQLONG key = 0x0000A500;  // mask 0xA5
  MQLONG plain = 0x11223344;
  MQLONG scrambled = plain;
  EncryptMsg(&scrambled, 4, key);
  EXPECT_EQ(DecryptLong(scrambled, key), plain);
  // Hand-worked: each byte b becomes exchange(b) ^ 0xA5.
  unsigned char bytes[4];
  std::memcpy(bytes, &scrambled, 4);
  unsigned char original[4];
  std::memcpy(original, &plain, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(bytes[i], static_cast<unsigned char>(((original[i] << 4) | (original[i] >> 4)) ^ 0xA5));
  }
}

}  // namespace
