#pragma once

// The steps a model or scripted news server plays on a connection, shared by the test
// fixtures and the demo news server. Nothing here touches a socket or a test framework.

#include <any>
#include <functional>
#include <string>
#include <vector>

namespace nimbra::test {

// One step of a script, or one action of a responder's answer.
struct FakeStep {
    enum Kind { Expect, ExpectBlock, ExpectClose, Send, Silence, Close, Reset, Fail, Repeat, Compress };
    Kind kind = Send;
    std::string text;                // expected line, bytes to send, or failure text
    std::vector<std::string> lines;  // expected data lines of ExpectBlock
    int ms = 0;                      // length of Silence, or the pause after each Repeat
    int count = 0;                   // times to Repeat; 0 for as long as the client stays
};

// Waits for the next client line (CR LF removed) and requires it to equal the given text.
FakeStep expect(std::string line);
// Waits for data lines up to the terminating "." and requires them (unstuffed) to equal these.
FakeStep expectBlock(std::vector<std::string> lines);
// Waits until the client closes or resets the connection.
FakeStep expectClose();
// Sends one line; CR LF is appended.
FakeStep send(std::string line);
// Sends a status line and data lines, dot-stuffed and terminated by ".".
FakeStep sendBlock(std::string status, const std::vector<std::string>& lines);
// Sends bytes exactly as given.
FakeStep sendRaw(std::string bytes);
// Sends one line (CR LF appended) count times, pausing everyMs after each; a count of 0
// repeats until the client goes away or the server stops. Hostile servers are made of it: an
// article that never ends (status, a few header lines, then repeat(line, 0)), an endless
// header, or a server that drips one line every few seconds (repeat(line, n, 3000)).
FakeStep repeat(std::string line, int count, int everyMs = 0);
// The same with bytes sent exactly as given (repeatRaw("x", 0): one line that never ends).
FakeStep repeatRaw(std::string bytes, int count, int everyMs = 0);
// From here on the connection is compressed both ways (raw deflate, as after COMPRESS
// DEFLATE's 206); scripted servers only.
FakeStep startCompression();
// Does nothing for the given time (lines sent meanwhile wait, unread).
FakeStep silence(int ms);
// Closes the connection in order (FIN).
FakeStep close();
// Resets the connection (RST, by lingering with a zero time-out).
FakeStep reset();
// Records a problem (for responders that meet something they should not).
FakeStep fail(std::string text);

// What a responder knows of the connection it answers.
struct FakeConnection {
    int index = 0;                       // 0 for the first connection accepted, then 1, 2, ...
    std::vector<std::string> received;   // lines of this connection so far, the current included
    std::any state;                      // free for the responder (current group, article, ...)
};

using ServerScript = std::vector<FakeStep>;
// Answers a new connection, and one line of a connection. Called on the serving thread.
using ServerGreeting = std::function<ServerScript(FakeConnection& connection)>;
using ServerResponder = std::function<ServerScript(const std::string& line, FakeConnection& connection)>;

} // namespace nimbra::test
