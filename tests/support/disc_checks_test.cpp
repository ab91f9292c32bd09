// The decoder buffer check on small program streams built here, one fault each, so that
// it is known to find what it is asked to find; and vcdimager's verdict on a stream that
// is no disc file.
#include "support/disc_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "support/files.h"
#include "support/scratch_dir.h"

namespace {

using quill_test::CheckDecoderBufferOfBytes;
using quill_test::DecoderBufferResult;
using Bytes = std::vector<std::uint8_t>;

constexpr int kVbr = 0xFFFF;

// A picture stream of 25 pictures/s and its multiplex. Picture n holds sizes[n] bytes from
// its start code on, then stuffing[n] zero bytes. With a constant rate every vbv_delay is
// what the buffer model gives from firstDelay on, plus delayOffset[n] (kVbr: 0xFFFF).
struct Stream {
  bool mpeg2 = false;
  std::int64_t bitRate = 1150000;
  int bufferUnits = 20;
  int firstDelay = 15652;  // about 200000 bits in the buffer before the first picture leaves
  std::vector<int> sizes = std::vector<int>(40, 5750);  // the rate's share of a picture
  std::map<int, int> stuffing, delayOffset;
  double scrStart = 0;  // seconds; later makes pictures late at the multiplex

  Bytes Build() const {
    Bytes es = {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x13};
    const std::int64_t units = bitRate / 400;
    const int rateUnits = static_cast<int>(units & 0x3FFFF), buffer = bufferUnits & 0x3FF;
    es.push_back(static_cast<std::uint8_t>(rateUnits >> 10));
    es.push_back(static_cast<std::uint8_t>(rateUnits >> 2));
    es.push_back(static_cast<std::uint8_t>(((rateUnits & 3) << 6) | 0x20 | (buffer >> 5)));
    es.push_back(static_cast<std::uint8_t>((buffer & 0x1F) << 3));
    if (mpeg2) {
      const int rateExt = static_cast<int>(units >> 18), bufferExt = bufferUnits >> 10;
      for (int b : {0, 0, 1, 0xB5, 0x14, 0x82, rateExt >> 7, ((rateExt & 0x7F) << 1) | 1, bufferExt, 0})
        es.push_back(static_cast<std::uint8_t>(b));
    }
    std::vector<std::size_t> codes;
    for (std::size_t n = 0; n < sizes.size(); ++n) {
      codes.push_back(es.size());
      for (int b : {0, 0, 1, 0}) es.push_back(static_cast<std::uint8_t>(b));
      es.resize(es.size() + sizes[n] - 4, 0xAA);
      es[codes[n] + 5] = n % 12 == 0 ? 0x08 : 0x10;  // I or P; vbv_delay below
      const auto s = stuffing.find(static_cast<int>(n));
      if (s != stuffing.end()) es.resize(es.size() + s->second, 0);
    }
    for (int b : {0, 0, 1, 0xB7}) es.push_back(static_cast<std::uint8_t>(b));

    // Decoding times, from the first bit's arrival.
    const double rate = static_cast<double>(bitRate);
    const double first = firstDelay == kVbr ? std::min(bufferUnits * 16384.0, 8.0 * es.size()) / rate
                                            : 8.0 * (codes[0] + 4) / rate + firstDelay / 90000.0;
    for (std::size_t n = 0; n < codes.size(); ++n) {
      int delay = kVbr;
      if (firstDelay != kVbr) {
        delay = static_cast<int>(std::lround((first + n * 0.04 - 8.0 * (codes[n] + 4) / rate) * 90000.0));
        const auto o = delayOffset.find(static_cast<int>(n));
        if (o != delayOffset.end()) delay = o->second == kVbr ? kVbr : delay + o->second;
      }
      std::uint8_t* p = &es[codes[n]];
      p[5] = static_cast<std::uint8_t>((p[5] & 0xF8) | (delay >> 13));
      p[6] = static_cast<std::uint8_t>(delay >> 5);
      p[7] = static_cast<std::uint8_t>((delay & 0x1F) << 3);
    }

    // Packs of 2324 bytes at twice the picture rate, one picture packet each, with the
    // decoding time of the first picture that starts in it.
    const std::int64_t muxRate = 2 * bitRate;
    Bytes file;
    std::size_t at = 0, next = 0;
    for (int pack = 0; at < es.size(); ++pack) {
      const std::size_t packStart = file.size();
      const std::int64_t scr = std::llround((scrStart + pack * 2324 * 8.0 / muxRate) * 90000);
      const std::int64_t mux = muxRate / 400;
      auto stamp = [&](int prefix, std::int64_t t) {
        file.push_back(static_cast<std::uint8_t>((prefix << 4) | ((t >> 29) & 0x0E) | 1));
        file.push_back(static_cast<std::uint8_t>(t >> 22));
        file.push_back(static_cast<std::uint8_t>(((t >> 14) & 0xFE) | 1));
        file.push_back(static_cast<std::uint8_t>(t >> 7));
        file.push_back(static_cast<std::uint8_t>(((t << 1) & 0xFE) | 1));
      };
      for (int b : {0, 0, 1, 0xBA}) file.push_back(static_cast<std::uint8_t>(b));
      if (!mpeg2) {
        stamp(2, scr);
        file.push_back(static_cast<std::uint8_t>(0x80 | (mux >> 15)));
        file.push_back(static_cast<std::uint8_t>(mux >> 7));
        file.push_back(static_cast<std::uint8_t>((mux << 1) | 1));
      } else {
        file.push_back(static_cast<std::uint8_t>(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 3)));
        file.push_back(static_cast<std::uint8_t>(scr >> 20));
        file.push_back(static_cast<std::uint8_t>(((scr >> 12) & 0xF8) | 4 | ((scr >> 13) & 3)));
        file.push_back(static_cast<std::uint8_t>(scr >> 5));
        file.push_back(static_cast<std::uint8_t>(((scr << 3) & 0xF8) | 4));
        file.push_back(1);
        file.push_back(static_cast<std::uint8_t>(mux >> 14));
        file.push_back(static_cast<std::uint8_t>(mux >> 6));
        file.push_back(static_cast<std::uint8_t>((mux << 2) | 3));
        file.push_back(0xF8);
      }
      while (next < codes.size() && codes[next] < at) ++next;
      std::size_t payload = 2324 - (file.size() - packStart) - 6 - (mpeg2 ? 8 : 5);
      payload = std::min(payload, es.size() - at);
      const bool stamped = next < codes.size() && codes[next] < at + payload;
      const std::size_t length = (mpeg2 ? 3 : 0) + (stamped ? 5 : mpeg2 ? 0 : 1) + payload;
      for (std::size_t b : {std::size_t{0}, std::size_t{0}, std::size_t{1}, std::size_t{0xE0}, length >> 8, length & 0xFF})
        file.push_back(static_cast<std::uint8_t>(b));
      const std::int64_t due = std::llround((first + next * 0.04) * 90000);
      if (mpeg2) {
        for (int b : {0x81, stamped ? 0x80 : 0, stamped ? 5 : 0}) file.push_back(static_cast<std::uint8_t>(b));
        if (stamped) stamp(2, due);
      } else if (stamped) {
        stamp(2, due);
      } else {
        file.push_back(0x0F);
      }
      file.insert(file.end(), es.begin() + static_cast<std::ptrdiff_t>(at),
                  es.begin() + static_cast<std::ptrdiff_t>(at + payload));
      at += payload;
    }
    return file;
  }
};

void ExpectFaults(const quill_test::PictureFaults& f, std::vector<int> pictures) {
  EXPECT_EQ(f.count, static_cast<int>(pictures.size()));
  EXPECT_EQ(f.first, pictures);
}

TEST(DecoderBufferCheck, ASteadyConstantRateStreamIsClean) {
  const Stream s;
  const DecoderBufferResult r = CheckDecoderBufferOfBytes(s.Build());
  ASSERT_EQ(r.error, "");
  EXPECT_FALSE(r.mpeg2);
  EXPECT_FALSE(r.variableRate);
  EXPECT_EQ(r.bitRate, 1150000);
  EXPECT_EQ(r.bufferBits, 20 * 16384);
  EXPECT_EQ(r.muxRate, 2300000);
  EXPECT_EQ(r.pictureRate, 25);
  EXPECT_EQ(r.pictures, 40);
  EXPECT_TRUE(r.BufferClean()) << r.Description();
  EXPECT_EQ(r.latePictures.count, 0) << r.Description();
  EXPECT_LE(r.worstVbvDelayTicks, 1.0);

  // Cut short in the middle of a pack, it is still judged: what was written is sound.
  Bytes cut = s.Build();
  cut.resize(cut.size() / 2 + 1000);
  const DecoderBufferResult part = CheckDecoderBufferOfBytes(cut);
  ASSERT_EQ(part.error, "");
  EXPECT_LT(part.pictures, 40);
  EXPECT_TRUE(part.BufferClean()) << part.Description();
}

TEST(DecoderBufferCheck, APictureLargerThanTheBufferHoldsUnderflowsThere) {
  Stream s;
  // 240000 bits against about 200000 in the buffer; small ones after it let the buffer recover.
  s.sizes[10] = 30000;
  for (int n = 11; n <= 15; ++n) s.sizes[n] = 500;
  const DecoderBufferResult r = CheckDecoderBufferOfBytes(s.Build());
  ASSERT_EQ(r.error, "");
  ExpectFaults(r.underflows, {10});
  ExpectFaults(r.overflows, {});
  ExpectFaults(r.vbvDelayMismatches, {});
  EXPECT_FALSE(r.BufferClean());
  EXPECT_NE(r.Description().find("1 underflows (picture 10)"), std::string::npos) << r.Description();
}

TEST(DecoderBufferCheck, SmallPicturesOverflowTheBufferUnlessStuffingFollowsThem) {
  Stream s;
  // Four pictures of 8000 bits let the buffer fill by 38000 bits each: over its 327680
  // bits before picture 14, whose size then brings it back.
  for (int n = 10; n <= 13; ++n) s.sizes[n] = 1000;
  Stream overflowing = s;
  overflowing.sizes[14] = 24750;
  DecoderBufferResult r = CheckDecoderBufferOfBytes(overflowing.Build());
  ASSERT_EQ(r.error, "");
  ExpectFaults(r.overflows, {14});
  ExpectFaults(r.underflows, {});
  ExpectFaults(r.vbvDelayMismatches, {});
  EXPECT_FALSE(r.BufferClean());

  // The same bits as zero stuffing after picture 13 leave with it, before the buffer is full.
  Stream stuffed = s;
  stuffed.stuffing[13] = 19000;
  r = CheckDecoderBufferOfBytes(stuffed.Build());
  ASSERT_EQ(r.error, "");
  EXPECT_TRUE(r.BufferClean()) << r.Description();
  EXPECT_EQ(r.latePictures.count, 0) << r.Description();
}

TEST(DecoderBufferCheck, AVbvDelayOtherThanTheBuffersFullnessIsAMismatch) {
  Stream s;
  s.delayOffset[7] = 180;      // 2 ms
  s.delayOffset[20] = 0xFFFF;  // said to be of variable rate in a constant-rate stream
  s.delayOffset[30] = -60;     // within the tolerance
  const DecoderBufferResult r = CheckDecoderBufferOfBytes(s.Build());
  ASSERT_EQ(r.error, "");
  ExpectFaults(r.vbvDelayMismatches, {7, 20});
  ExpectFaults(r.underflows, {});
  ExpectFaults(r.overflows, {});
  EXPECT_NEAR(r.worstVbvDelayTicks, 180, 1);
}

TEST(DecoderBufferCheck, AVariableRateStreamFillsOnlyUntilItsBufferIsFull) {
  Stream s;
  s.mpeg2 = true;
  s.bitRate = 2516000;  // an SVCD's peak
  s.bufferUnits = 112;
  s.firstDelay = kVbr;
  // Twenty small pictures, then six big ones of 400000 bits, each taking 299360 more than a
  // picture time brings: from a full buffer the sixth has too few. Had the buffer gone on
  // filling in the small ones' time, there would be room for all.
  s.sizes.assign(20, 6250);
  for (int n = 0; n < 6; ++n) s.sizes.push_back(50000);
  for (int n = 0; n < 10; ++n) s.sizes.push_back(6250);
  DecoderBufferResult r = CheckDecoderBufferOfBytes(s.Build());
  ASSERT_EQ(r.error, "");
  EXPECT_TRUE(r.mpeg2);
  EXPECT_TRUE(r.variableRate);
  EXPECT_EQ(r.bitRate, 2516000);
  EXPECT_EQ(r.bufferBits, 112 * 16384);
  ExpectFaults(r.underflows, {25});
  ExpectFaults(r.overflows, {});
  ExpectFaults(r.vbvDelayMismatches, {});
  EXPECT_EQ(r.latePictures.count, 0) << r.Description();

  s.sizes[25] = 30000;
  r = CheckDecoderBufferOfBytes(s.Build());
  EXPECT_TRUE(r.BufferClean()) << r.Description();
}

TEST(DecoderBufferCheck, PicturesArrivingAfterTheirDecodingTimeAreLate) {
  Stream s;
  s.scrStart = 0.3;  // every pack 0.3 s later than the decoding times allow
  const DecoderBufferResult r = CheckDecoderBufferOfBytes(s.Build());
  ASSERT_EQ(r.error, "");
  EXPECT_TRUE(r.BufferClean()) << r.Description();
  ASSERT_GT(r.latePictures.count, 0);
  EXPECT_EQ(r.latePictures.first.front(), 0);
}

TEST(DecoderBufferCheck, WhatIsNoProgramStreamIsNotJudged) {
  EXPECT_NE(CheckDecoderBufferOfBytes({}).error, "");
  EXPECT_NE(CheckDecoderBufferOfBytes(Bytes(100, 0x47)).error, "");
  EXPECT_NE(quill_test::CheckDecoderBuffer("/nonexistent/x.mpg").error, "");
  EXPECT_FALSE(quill_test::CheckDecoderBuffer("/nonexistent/x.mpg").BufferClean());
}

TEST(VcdImagerCheck, UnalignedPacksWithoutSoundAreNotClean) {
  quill_test::ScratchDir scratch("disc-checks");
  // Packs a few bytes short of a sector, and no sound: vcdimager pads them and warns.
  const std::string path = (scratch / "odd.mpg").string();
  Stream s;
  const Bytes file = s.Build();
  quill_test::WriteFile(path, std::string(file.begin(), file.end()));
  const quill_test::VcdImagerResult r = quill_test::CheckWithVcdImager(path);
  EXPECT_EQ(r.type, "vcd2");
  EXPECT_EQ(r.error, "");
  EXPECT_FALSE(r.Clean()) << r.output;
  EXPECT_NE(r.Description(), "");
  EXPECT_FALSE(quill_test::CheckWithVcdImager((scratch / "none.mpg").string()).Clean());
}

}  // namespace
