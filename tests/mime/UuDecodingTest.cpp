#include "tests/mime/DecoderHarness.h"

#include "mime/UuBlockReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace nimbra::test {
namespace {

using Names = std::vector<std::string>;

// "abc" uuencoded.
const std::string AbcLine = "#86)C\r\n";

std::string body(const std::string& lines)
{
    return "Subject: a file\r\n\r\n" + lines;
}

TEST(UuDecoding, BeginLineWithDataMakesOneBlockWithItsName)
{
    DecoderHarness h;
    h.decode(body("some text first\r\nbegin 644 pic.jpg\r\n" + AbcLine + "`\r\nend\r\nafter\r\n"));
    ASSERT_EQ(h.outputs.size(), 1u);
    EXPECT_EQ(h.outputs[0].name, "pic.jpg");
    EXPECT_EQ(h.outputs[0].bytes, "abc");
    EXPECT_TRUE(h.outputs[0].ended);
    EXPECT_EQ(h.delivered, "abc");  // neither the prose before nor after is data
}

TEST(UuDecoding, ABeginLineWithoutDataAfterItLeavesNothing)
{
    DecoderHarness h;
    h.decode(body("> begin 644 quoted.jpg\r\nbegin 644 quoted.jpg\r\nand then I wrote more prose\r\nend\r\n"));
    h.decode(body("begin 644 last-line.jpg\r\n"));
    h.decode(body("begin the story here\r\nM86)C\r\n"));
    EXPECT_TRUE(h.outputs.empty()) << h.outputs.size();
    EXPECT_EQ(std::count(h.events.begin(), h.events.end(), "UuBegin"), 0);
}

TEST(UuDecoding, TheModeIsAnyRunOfOctalDigitsAndTheNameKeepsItsBlanks)
{
    struct Case { const char* line; const char* name; };
    for (const Case& c : {Case{"begin 1477 test.txt", "test.txt"}, Case{"begin 644 a b.jpg", "a b.jpg"},
                          Case{"BEGIN 0600 x.bin  ", "x.bin"}, Case{"begin  755 two blanks.jpg", "two blanks.jpg"},
                          Case{"begin 7 m.jpg", "m.jpg"}}) {
        std::string name;
        ASSERT_TRUE(UuBlockReader::beginLine(c.line, name)) << c.line;
        EXPECT_EQ(name, c.name) << c.line;
    }
    for (const char* notBegin : {"begin 644", "begin 648 x", "begin x.jpg", "begin 644x.jpg", "beginning 644 x"}) {
        std::string name;
        EXPECT_FALSE(UuBlockReader::beginLine(notBegin, name)) << notBegin;
    }
}

TEST(UuDecoding, DataLinesAreRecognisedByAlphabetAndLength)
{
    EXPECT_TRUE(UuBlockReader::dataLine("#86)C"));
    EXPECT_TRUE(UuBlockReader::dataLine("`"));
    EXPECT_TRUE(UuBlockReader::dataLine("#86)"));  // a trailing blank stripped in transit
    EXPECT_TRUE(UuBlockReader::dataLine(std::string("M") + std::string(60, '!')));
    EXPECT_FALSE(UuBlockReader::dataLine("hello there"));        // lower case is no uuencode
    EXPECT_FALSE(UuBlockReader::dataLine("M86)C"));              // far too short for 45 bytes
    EXPECT_FALSE(UuBlockReader::dataLine(std::string("#") + std::string(9, '!')));  // too long
    EXPECT_FALSE(UuBlockReader::dataLine("h5c6b4"));             // xxencode
    using Alphabet = UuBlockReader::Alphabet;
    EXPECT_TRUE(UuBlockReader::dataLine("1MK7X", Alphabet::Xx));
    EXPECT_TRUE(UuBlockReader::dataLine("+", Alphabet::Xx));
    EXPECT_FALSE(UuBlockReader::dataLine("#86)C", Alphabet::Xx)); // uuencode
    EXPECT_FALSE(UuBlockReader::dataLine("1MK 7", Alphabet::Xx)); // a blank is no xxencode
}

// The same line in the xxencode alphabet: uuencode's values, other characters.
std::string xx(const std::string& uuLine)
{
    const std::string alphabet = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string line;
    for (char c : uuLine)
        line += c == '\r' || c == '\n' ? c : alphabet[static_cast<std::size_t>((c - ' ') & 63)];
    return line;
}

// 45 bytes "Now is the time for all good men to come to t" uuencoded: one full line.
const std::string FullUuLine = "M3F]W(&ES('1H92!T:6UE(&9O<B!A;&P@9V]O9\"!M96X@=&\\@8V]M92!T;R!T\r\n";

TEST(UuDecoding, XxencodedBlocksAreDecodedInTheirAlphabet)
{
    EXPECT_EQ(xx(AbcLine), "1MK7X\r\n");
    DecoderHarness h;
    h.decode(body("begin 644 xx.txt\r\n" + xx(FullUuLine) + xx(AbcLine) + "+\r\nend\r\n"));
    ASSERT_EQ(h.outputs.size(), 1u);
    EXPECT_EQ(h.outputs[0].name, "xx.txt");
    EXPECT_EQ(h.outputs[0].bytes, "Now is the time for all good men to come to tabc");
    EXPECT_TRUE(h.outputs[0].ended);

    // A uuencoded block after it is read in its own alphabet again.
    h.decode(body("begin 644 xx.txt\r\n" + xx(AbcLine) + "end\r\nbegin 644 uu.txt\r\n" + AbcLine + "end\r\n"));
    ASSERT_EQ(h.outputs.size(), 3u);
    EXPECT_EQ(h.outputs[1].bytes, "abc");
    EXPECT_EQ(h.outputs[2].bytes, "abc");

    DecoderHarness part;
    part.decode("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Transfer-Encoding: x-xxencode\r\n\r\n"
                "begin 644 part.txt\r\n" + xx(AbcLine) + "+\r\nend\r\n--b--\r\n");
    ASSERT_EQ(part.outputs.size(), 1u);
    EXPECT_EQ(part.outputs[0].name, "part.txt");
    EXPECT_EQ(part.outputs[0].bytes, "abc");
}

TEST(UuDecoding, AnXxencodedContinuationStartsOnlyAtAFullLine)
{
    // Rows of dashes, plus signs and single words are xxencode by alphabet and length.
    DecoderHarness prose;
    prose.decode(body("----\r\n+\r\nThanks\r\n" + xx(AbcLine) + "end\r\n"));
    EXPECT_TRUE(prose.outputs.empty());
    EXPECT_EQ(prose.delivered, "");

    DecoderHarness h;
    h.decode(body(xx(FullUuLine) + xx(AbcLine) + "+\r\nend\r\n"));
    ASSERT_EQ(h.outputs.size(), 1u);
    EXPECT_TRUE(h.outputs[0].continuation);
    EXPECT_EQ(h.outputs[0].bytes, "Now is the time for all good men to come to tabc");
    EXPECT_TRUE(h.outputs[0].ended);
}

TEST(UuDecoding, ACutHereMarkerIsNoBlock)
{
    DecoderHarness h;
    h.decode(body("begin 644 CUT HERE\r\n" + AbcLine + "end\r\n"));
    ASSERT_EQ(h.outputs.size(), 1u);  // the data after the marker continues a file
    EXPECT_TRUE(h.outputs[0].continuation);
    EXPECT_EQ(h.outputs[0].bytes, "abc");
    EXPECT_TRUE(h.outputs[0].ended);
}

TEST(UuDecoding, ABlockThatStopsShortIsCutAndTextInsideIsSkipped)
{
    DecoderHarness h;
    h.decode(body("begin 644 one.jpg\r\n" + AbcLine + "-- CUT HERE --\r\n" + AbcLine + "begin 644 two.jpg\r\n" + AbcLine));
    EXPECT_EQ(h.events, (Names{"HeaderBegin", "HeaderEnd", "PartBegin", "UuBegin", "UuCut", "UuBegin", "UuCut",
                               "PartEnd", "MessageEnd"}));
    ASSERT_EQ(h.outputs.size(), 2u);
    EXPECT_EQ(h.outputs[0].bytes, "abcabc");
    EXPECT_EQ(h.outputs[1].name, "two.jpg");
    EXPECT_FALSE(h.outputs[1].ended);
}

TEST(UuDecoding, AContinuationStartsAtTheFirstDataLine)
{
    DecoderHarness h;
    h.decode(body(AbcLine + AbcLine + "`\r\nend\r\n"));
    ASSERT_EQ(h.outputs.size(), 1u);
    EXPECT_TRUE(h.outputs[0].continuation);
    EXPECT_EQ(h.outputs[0].bytes, "abcabc");
    EXPECT_TRUE(h.outputs[0].ended);
}

TEST(UuDecoding, InlineBlockInDecodedTextRaisesInlineEvents)
{
    DecoderHarness h;
    std::vector<std::string> inlineEvents;
    h.decoder.OnInlineDecodeBegin = [&](MimeDecoder&, const std::string& name) { inlineEvents.push_back("begin " + name); };
    h.decoder.OnInlineDecodeLine = [&](MimeDecoder&, std::string_view line) { inlineEvents.push_back(std::string(line)); };
    h.decoder.OnInlineDecodeEnd = [&](MimeDecoder&, const std::string& name) { inlineEvents.push_back("end " + name); };
    h.decode("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n"
             "before\r\n  BEGIN 666 in.jpg  \r\n#86)\r\nend\r\nafter\r\n--b--\r\n");
    EXPECT_EQ(inlineEvents, (Names{"begin in.jpg", "ab@", "end in.jpg"}));
    EXPECT_EQ(h.delivered, "before\r\n\r\n\r\n\r\nafter");
}

// Some posters encode each text line as a base64 line of its own: an inline block then shows
// in the decoded lines, read in place or through copies, and however many plain lines are
// delivered together around it.
TEST(UuDecoding, InlineBlockInBase64LinesRaisesInlineEvents)
{
    std::string plain;
    for (int k = 0; k < 3000; ++k)
        plain += "YmVmb3JlDQo=\r\n";  // "before"
    const std::string article = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                                "Content-Transfer-Encoding: base64\r\n\r\n"
                                + plain
                                + "ICBCRUdJTiA2NjYgaW4uanBnICANCg==\r\n"  // "  BEGIN 666 in.jpg  "
                                  "Izg2KQ0K\r\n"                          // "#86)"
                                  "ZW5kDQo=\r\n"                          // "end"
                                + plain + "YWZ0ZXINCg==\r\n--b--\r\n";   // "after"
    std::string expected;
    for (int k = 0; k < 6000; ++k)
        expected += "before\r\n";
    expected += "after\r\n";
    for (const bool throughCopies : {false, true}) {
        DecoderHarness h;
        std::vector<std::string> inlineEvents;
        h.decoder.OnInlineDecodeBegin = [&](MimeDecoder&, const std::string& name) { inlineEvents.push_back("begin " + name); };
        h.decoder.OnInlineDecodeLine = [&](MimeDecoder&, std::string_view line) { inlineEvents.push_back(std::string(line)); };
        h.decoder.OnInlineDecodeEnd = [&](MimeDecoder&, const std::string& name) { inlineEvents.push_back("end " + name); };
        h.decode(article, throughCopies);
        EXPECT_EQ(inlineEvents, (Names{"begin in.jpg", "ab@", "end in.jpg"})) << throughCopies;
        EXPECT_TRUE(h.delivered == expected) << throughCopies;
    }
}

// One line of up to 45 bytes in the alphabet given ("`" for zero in uuencode).
std::string encodedLine(const std::string& bytes, bool xx)
{
    const std::string xxAlphabet = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    auto character = [&](unsigned value) { return xx ? xxAlphabet[value & 63] : value == 0 ? '`' : char(32 + value); };
    std::string line(1, character(static_cast<unsigned>(bytes.size())));
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned char b[3] = {};
        for (std::size_t k = 0; k < 3 && i + k < bytes.size(); ++k)
            b[k] = static_cast<unsigned char>(bytes[i + k]);
        line += character(b[0] >> 2);
        line += character(((b[0] & 3) << 4) | (b[1] >> 4));
        line += character(((b[1] & 15) << 2) | (b[2] >> 6));
        line += character(b[2] & 63);
    }
    return line;
}

// A single-part body's lines are taken in runs inside a block; a body in an x-uuencode part
// goes line by line. Both must see the same blocks, bytes and ends, whatever comes between.
TEST(UuDecoding, RunsOfLinesGiveWhatLineByLineGives)
{
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string lines;
        const int count = 1 + static_cast<int>(random() % 400);
        bool xx = false;
        for (int k = 0; k < count; ++k) {
            switch (random() % 16) {
            case 0: xx = random() % 4 == 0; lines += "begin 644 f" + std::to_string(k) + ".jpg"; break;
            case 1: lines += "end"; break;
            case 2: lines += ""; break;
            case 3: lines += "some prose between the lines"; break;
            case 4: lines += "BEGIN --- CUT HERE --- Part 2"; break;
            case 5: lines += encodedLine(std::string(1 + random() % 44, 'z'), xx).substr(0, 1 + random() % 30); break;
            default: {
                std::string bytes(random() % 4 == 0 ? 1 + random() % 45 : 45, '\0');
                for (char& c : bytes)
                    c = static_cast<char>(random());
                lines += encodedLine(bytes, xx);
            }
            }
            lines += random() % 3 ? "\r\n" : "\n";
        }
        DecoderHarness single;
        DecoderHarness partwise;
        single.decode(body(lines), round % 2 == 1);
        partwise.decode("Subject: a file\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                        "Content-Transfer-Encoding: x-uuencode\r\n\r\n" + lines + "\r\n--b--\r\n");
        auto uuEvents = [](const std::vector<std::string>& events) {
            std::vector<std::string> kept;
            for (const std::string& event : events)
                if (event.rfind("Uu", 0) == 0)
                    kept.push_back(event);
            return kept;
        };
        ASSERT_EQ(uuEvents(single.events), uuEvents(partwise.events)) << round;
        ASSERT_EQ(single.outputs.size(), partwise.outputs.size()) << round;
        for (std::size_t k = 0; k < single.outputs.size(); ++k) {
            ASSERT_EQ(single.outputs[k].name, partwise.outputs[k].name) << round;
            ASSERT_TRUE(single.outputs[k].bytes == partwise.outputs[k].bytes) << round << " " << k;
            ASSERT_EQ(single.outputs[k].ended, partwise.outputs[k].ended) << round;
        }
    }
}

} // namespace
} // namespace nimbra::test
