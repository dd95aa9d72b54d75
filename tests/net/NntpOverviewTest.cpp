// Capabilities and the overview: the client against the scripted news server, and the
// parsers fed lines directly.
#include "net/NntpCapabilities.h"
#include "net/OverviewFormat.h"
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

const std::vector<std::string> StandardFormat = {"Subject:", "From:", "Date:", "Message-ID:", "References:",
                                                 ":bytes", ":lines"};

// Records each overview line as "over <number> <subject> <bytes> <lines> <extras...>".
void recordOverview(NntpHarness& h)
{
    h.client.OnOverviewLine = [&h](NntpClient& c) {
        const OverviewLine& o = c.Overview();
        std::string text = "over " + std::to_string(o.number) + " " + std::string(o.subject) + " "
                           + std::to_string(o.bytes) + " " + std::to_string(o.lines);
        for (std::string_view extra : o.extra)
            text += " " + std::string(extra);
        h.events.push_back(text);
    };
}

TEST(NntpCapabilities, TransitServerIsSwitchedToReadingAndAskedAgain)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("CAPABILITIES"), sendBlock("101 Capability list:", {"VERSION 2", "IHAVE", "MODE-READER"}),
        expect("MODE READER"), send("201 reader"),
        expect("CAPABILITIES"), sendBlock("101 Capability list:", {"VERSION 2", "READER", "over", "HDR",
                                                                   "COMPRESS SHRINK DEFLATE", "MODE-READER"}),
        expect("CAPABILITIES"), send("500 What?"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.Capabilities(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), Events{"done 25 0"});
    const NntpCapabilities& caps = h.client.ServerCapabilities();
    EXPECT_TRUE(caps.known() && caps.reader() && caps.over() && caps.hdr() && caps.compressDeflate());

    // A server that does not know the command: nothing is known, the classic commands serve.
    h.call([&] { h.client.Capabilities(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), Events{"done 25 500"});
    EXPECT_FALSE(caps.known() || caps.over() || caps.reader() || caps.compressDeflate());
    server.verify();
}

TEST(NntpOverview, OverReadsTheFormatOncePerConnectionAndEachLineIsOneEvent)
{
    std::vector<std::string> format = StandardFormat;
    format.push_back("Xref:full");
    FakeNewsServer server({
        send("200 ready"),
        expect("CAPABILITIES"), sendBlock("101 list", {"VERSION 2", "READER", "OVER"}),
        expect("LIST OVERVIEW.FMT"), sendBlock("215 format", format),
        expect("OVER 1-4294967296"),
        sendBlock("224 overview", {"1\tpic (1/1)\ta@b\tdate\t<1@x>\t\t30000\t400\tXref: h g:1",
                                   "x\tno number", ".dot\tbad too",
                                   "4294967296\t.starts with a dot\ta@b\tdate\t<2@x>\t<1@x>\t\t"}),
        expect("OVER 7"), send("423 No articles in that range"),
    });
    NntpHarness h(server.portText());
    recordOverview(h);
    ASSERT_TRUE(h.connect());
    h.call([&] { h.client.Capabilities(); });
    ASSERT_TRUE(h.waitForNextDone());
    h.take();
    h.call([&] { h.client.Over(1, 4294967296); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"over 1 pic (1/1) 30000 400 Xref: h g:1", "over 4294967296 .starts with a dot -1 -1",
                                "done 26 0"}));
    EXPECT_EQ(h.client.ServerOverviewFormat().extraIndex("xref"), 0);
    h.call([&] { h.client.Over(7, 7); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), Events{"done 26 423"});
    server.verify();
}

TEST(NntpOverview, XoverWithTheStandardFieldsWhenTheServerListsNeither)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("LIST OVERVIEW.FMT"), send("503 not supported"),
        expect("XOVER 5-6"), sendBlock("224 overview", {"5\ts\tf\td\t<5@x>\t\t100\t2\textra ignored"}),
        expect("XOVER 8-9"), send("500 What?"),
    });
    NntpHarness h(server.portText());
    recordOverview(h);
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.Over(5, 6); });
    ASSERT_TRUE(h.waitForNextDone());
    h.call([&] { h.client.Over(8, 9); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"over 5 s 100 2", "done 26 0", "done 26 500"}));
    server.verify();
}

TEST(OverviewFormat, FieldsByPositionAndExtrasByName)
{
    OverviewFormat format;
    for (const std::string& line : StandardFormat)
        format.addLine(line);
    format.addLine("Xref:full");
    format.addLine("X-Size:");
    ASSERT_EQ(format.extraNames(), (std::vector<std::string>{"Xref", "X-Size"}));
    EXPECT_EQ(format.extraIndex("X-SIZE"), 1);
    EXPECT_EQ(format.extraIndex("Lines"), -1);

    OverviewLine o;
    ASSERT_TRUE(format.parse("9223372036854775807\tsub\tfrom\tdate\t<m@x>\t<r@x>\t12\t3\tXref: a\t77", o));
    EXPECT_EQ(o.number, INT64_MAX);
    EXPECT_EQ(o.messageId, "<m@x>");
    EXPECT_EQ(o.references, "<r@x>");
    EXPECT_EQ(o.bytes, 12);
    EXPECT_EQ(o.lines, 3);
    EXPECT_EQ(o.extra, (std::vector<std::string_view>{"Xref: a", "77"}));

    // Missing and unreadable fields: empty text, sizes unknown; no number, no line.
    ASSERT_TRUE(format.parse("12\tonly a subject", o));
    EXPECT_EQ(o.subject, "only a subject");
    EXPECT_EQ(o.from, "");
    EXPECT_EQ(o.lines, -1);
    EXPECT_TRUE(o.extra.empty());
    ASSERT_TRUE(format.parse("12\ts\tf\td\t<m>\t\t-5\t99999999999999999999", o));
    EXPECT_EQ(o.bytes, -1);
    EXPECT_EQ(o.lines, -1);
    for (const char* bad : {"", "\tsubject", "-1\ts", "9223372036854775808\ts", "1x\ts"})
        EXPECT_FALSE(format.parse(bad, o)) << bad;
}

} // namespace
} // namespace nimbra::test
