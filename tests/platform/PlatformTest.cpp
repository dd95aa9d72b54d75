#include "platform/AtomicFile.h"
#include "platform/MemoryStream.h"
#include "platform/FileStream.h"
#include "platform/MappedFileStream.h"
#include "platform/MessageWindow.h"
#include "platform/RegistryStore.h"
#include "platform/Rounding.h"
#include "platform/SafeName.h"
#include "platform/TextListFile.h"
#include "platform/UniqueFileName.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>
#include <vector>

using namespace nimbra;
using nimbra::test::TestEnvironment;

TEST(MessageWindow, DeliversPostedMessagesLaterAndInOrder)
{
    std::vector<unsigned> seen;
    MessageWindow* self = nullptr;
    MessageWindow window([&](unsigned message, std::uintptr_t w, std::intptr_t l) {
        seen.push_back(message);
        EXPECT_EQ(w, message * 2u);
        EXPECT_EQ(l, -static_cast<std::intptr_t>(message));
        if (message == 1025)
            self->post(1030, 2060, -1030); // posting from inside the procedure queues behind
    });
    self = &window;
    window.post(1025, 2050, -1025);
    window.post(1026, 2052, -1026);
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(test::waitUntil([&] { return seen.size() == 3; }));
    EXPECT_EQ(seen, (std::vector<unsigned>{1025, 1026, 1030}));
    EXPECT_EQ(window.pending(), 0);
}

TEST(MessageWindow, MessagesForADestroyedWindowAreDropped)
{
    int calls = 0;
    {
        MessageWindow window([&](unsigned, std::uintptr_t, std::intptr_t) { ++calls; });
        window.post(1025);
    }
    test::pumpFor(20);
    EXPECT_EQ(calls, 0);
}

TEST(RegistryStore, KeysExistOnceCreatedAndValuesSurviveAReopen)
{
    const std::string path = TestEnvironment::makeFolder("reg") + "registry";
    {
        RegistryStore store(path);
        EXPECT_FALSE(store.openKey("Software\\Tolmar", false));
        ASSERT_TRUE(store.openKey("Software\\Tolmar", true));
        store.closeKey();
        ASSERT_TRUE(store.openKey("Software\\Tolmar\\Nimbra V1.0", true));
        EXPECT_FALSE(store.valueExists("NEWSHost"));
        store.writeString("NEWSHost", "news.example\twith tab\\and\r\nline");
        store.writeString("port", "");
        EXPECT_TRUE(store.closeKey());
    }
    RegistryStore store(path);
    EXPECT_TRUE(store.keyExists("Software\\Tolmar"));
    ASSERT_TRUE(store.openKey("Software\\Tolmar\\Nimbra V1.0", false));
    EXPECT_EQ(store.readString("NEWSHost"), "news.example\twith tab\\and\r\nline");
    EXPECT_TRUE(store.valueExists("port"));
    EXPECT_EQ(store.readString("port"), "");
    EXPECT_EQ(store.readString("absent"), "");
}

TEST(RegistryStore, CorruptOrForeignFileStartsEmpty)
{
    const std::string folder = TestEnvironment::makeFolder("corrupt");
    for (const std::string& bytes : std::vector<std::string>{"garbage\n\x01\x02", "NimbraRegistry 1\nK\tkey\nV\tbroken\\"}) {
        ASSERT_TRUE(AtomicFile::write(folder + "registry", bytes));
        RegistryStore store(folder + "registry");
        EXPECT_FALSE(store.keyExists("key"));
        EXPECT_TRUE(store.openKey("key", true));
        EXPECT_TRUE(store.writeString("a", "b"));
        EXPECT_TRUE(store.closeKey());
    }
    RegistryStore reread(folder + "registry");
    EXPECT_TRUE(reread.openKey("key", false));
    EXPECT_EQ(reread.readString("a"), "b");
}

TEST(TextListFile, WritesCrLfAndReadsEitherLineEnd)
{
    const std::string folder = TestEnvironment::makeFolder("lists");
    ASSERT_TRUE(TextListFile::save(folder + "a", {"one", "", "three"}));
    std::string bytes;
    ASSERT_TRUE(AtomicFile::read(folder + "a", bytes));
    EXPECT_EQ(bytes, "one\r\n\r\nthree\r\n");
    std::vector<std::string> lines;
    ASSERT_TRUE(TextListFile::load(folder + "a", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "", "three"}));

    ASSERT_TRUE(AtomicFile::write(folder + "b", "x\ny\r\nlast"));
    ASSERT_TRUE(TextListFile::load(folder + "b", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"x", "y", "last"}));

    EXPECT_FALSE(TextListFile::load(folder + "missing", lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(TextListFile::load(folder, lines)) << "a folder is not a list file";
}

TEST(AtomicFile, FailedWriteLeavesTheOldFile)
{
    const std::string folder = TestEnvironment::makeFolder("atomic");
    ASSERT_TRUE(AtomicFile::write(folder + "f", "old"));
    EXPECT_FALSE(AtomicFile::write(folder + "no-such-folder/f", "new"));
    std::string bytes;
    ASSERT_TRUE(AtomicFile::read(folder + "f", bytes));
    EXPECT_EQ(bytes, "old");
}

TEST(SafeName, PlainNamesStayAndHostileOnesAreMappedStably)
{
    EXPECT_EQ(SafeName::mapped("newshost"), "newshost");
    EXPECT_EQ(SafeName::mapped("192.168.0.10"), "192.168.0.10");
    EXPECT_EQ(SafeName::mapped("alt.binaries.pictures"), "alt.binaries.pictures");
    for (const std::string& hostile : std::vector<std::string>{"../etc", "..", ".", "", "a/b", "a\\b", "x\ny", std::string("n\0ul", 4), "mesagid"}) {
        const std::string name = SafeName::mapped(hostile, {"mesagid"});
        EXPECT_EQ(name.find('/'), std::string::npos) << hostile;
        EXPECT_EQ(name.find('\\'), std::string::npos) << hostile;
        EXPECT_NE(name[0], '.') << hostile;
        EXPECT_NE(name, "mesagid");
        EXPECT_EQ(name.find('\0'), std::string::npos);
        EXPECT_EQ(name, SafeName::mapped(hostile, {"mesagid"})) << "same text, same name";
    }
    EXPECT_NE(SafeName::mapped("a/b"), SafeName::mapped("a\\b"));
}

TEST(SafeName, AttachmentNamesLoseDirectoriesAndControls)
{
    EXPECT_EQ(SafeName::attachment("My Picture 01.JPG"), "My Picture 01.JPG");
    EXPECT_EQ(SafeName::attachment("../../etc/passwd"), "passwd");
    EXPECT_EQ(SafeName::attachment("C:\\windows\\evil.exe"), "evil.exe");
    EXPECT_EQ(SafeName::attachment(std::string("a\0b\x01\x7f" "c.jpg", 10)), "abc.jpg");
    EXPECT_EQ(SafeName::attachment(".."), "");
    EXPECT_EQ(SafeName::attachment("dir/"), "");
    EXPECT_EQ(SafeName::attachment("x/."), "");
    EXPECT_EQ(SafeName::attachment("..."), "...");
    // Long names (yEnc posts carry names of 256 characters and more) are shortened so the
    // file system takes them, with room for the leading "1"s, keeping the extension and whole
    // UTF-8 characters.
    std::string accents;
    for (int i = 0; i < 150; ++i)
        accents += "\xc3\xa9";
    const std::string longJpg = SafeName::attachment(accents + ".jpg");
    EXPECT_EQ(longJpg.size(), 200u);
    EXPECT_EQ(longJpg.substr(0, 196), accents.substr(0, 196));
    EXPECT_EQ(longJpg.substr(196), ".jpg");
    const std::string oddCut = SafeName::attachment("x" + accents);
    EXPECT_EQ(oddCut, "x" + accents.substr(0, 198)) << "a character is not cut in two";
    EXPECT_EQ(SafeName::attachment(std::string(300, 'a') + "." + std::string(40, 'b')).size(), 200u);
}

TEST(UniqueFileName, LeadingOnesUntilFree)
{
    const std::string folder = TestEnvironment::makeFolder("unique");
    EXPECT_EQ(UniqueFileName::free(folder, "pic.jpg"), "pic.jpg");
    ASSERT_TRUE(AtomicFile::write(folder + "pic.jpg", "x"));
    ASSERT_TRUE(AtomicFile::write(folder + "1pic.jpg", "x"));
    EXPECT_EQ(UniqueFileName::free(folder, "pic.jpg"), "11pic.jpg");
    const std::string random = UniqueFileName::randomJpg(folder);
    EXPECT_GE(random.size(), 5u);
    EXPECT_EQ(random.substr(random.size() - 4), ".jpg");
    EXPECT_LT(std::stoi(random), 65000 * 10) << random;
}

TEST(Rounding, HalvesGoToEven)
{
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(1536.0 / 1024), 2);
    EXPECT_EQ(roundHalfEven(512.0 / 1024), 0);
    EXPECT_EQ(roundHalfEven(2.6), 3);
}

TEST(Streams, MemoryAndFileStreamsReadBackWhatWasWritten)
{
    MemoryStream memory;
    memory.write("hello", 5);
    memory.seek(1);
    memory.write("EL", 2);
    memory.rewind();
    char buffer[16] = {};
    EXPECT_EQ(memory.read(buffer, sizeof buffer), 5u);
    EXPECT_EQ(std::string(buffer, 5), "hELlo");

    const std::string path = TestEnvironment::makeFolder("streams") + "f";
    {
        FileStream file(path, FileStream::Mode::CreateNew);
        file.write("abc", 3);
        EXPECT_EQ(file.size(), 3);
        EXPECT_TRUE(file.close());
    }
    EXPECT_THROW(FileStream(path, FileStream::Mode::CreateNew), std::runtime_error);
    FileStream again(path, FileStream::Mode::OpenReadWrite);
    again.seek(again.size());
    again.write("de", 2);
    again.rewind();
    EXPECT_EQ(again.read(buffer, sizeof buffer), 5u);
    EXPECT_EQ(std::string(buffer, 5), "abcde");
}

TEST(Streams, AWholeFileIsReadInPlaceReadInOrMappedAndRefusesLinksAndWrites)
{
    const std::string folder = TestEnvironment::makeFolder("streams-mapped");
    {
        FileStream file(folder + "f", FileStream::Mode::CreateNew);
        file.write("line one\r\nline two", 18);
        ASSERT_TRUE(file.close());
    }
    char buffer[8] = {};
    for (const std::size_t readLimit : {MappedFileStream::ReadLimit, std::size_t{4}}) {
        SCOPED_TRACE(readLimit);  // read in, and mapped
        MappedFileStream mapped(folder + "f", readLimit);
        ASSERT_EQ(mapped.size(), 18);
        ASSERT_NE(mapped.memory(), nullptr);
        EXPECT_EQ(std::string(mapped.memory(), 18), "line one\r\nline two");
        mapped.seek(10);
        EXPECT_EQ(mapped.read(buffer, sizeof buffer), 8u);
        EXPECT_EQ(std::string(buffer, 8), "line two");
        EXPECT_EQ(mapped.read(buffer, sizeof buffer), 0u);
        EXPECT_EQ(mapped.write("x", 1), 0u);
    }

    { FileStream empty(folder + "empty", FileStream::Mode::CreateNew); }
    MappedFileStream nothing(folder + "empty");
    EXPECT_EQ(nothing.size(), 0);
    EXPECT_EQ(nothing.read(buffer, sizeof buffer), 0u);

    ASSERT_EQ(::symlink((folder + "f").c_str(), (folder + "link").c_str()), 0);
    EXPECT_THROW(MappedFileStream{folder + "link"}, std::runtime_error);
    EXPECT_THROW(MappedFileStream{folder + "missing"}, std::runtime_error);
    EXPECT_THROW(MappedFileStream{folder}, std::runtime_error);  // a folder
}

TEST(Streams, SmallAndLargeFileWritesInterleaveInOrder)
{
    // Runs below and above the size that goes straight to the file, at the end and after a
    // seek back, must land where the stream's position says.
    std::string large(300 * 1024, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 31 + 7);
    const std::string path = TestEnvironment::makeFolder("streams-large") + "f";
    FileStream file(path, FileStream::Mode::CreateNew);
    file.write("head", 4);
    file.write(large.data(), large.size());
    file.write("tail", 4);
    EXPECT_EQ(file.position(), static_cast<std::int64_t>(large.size() + 8));
    file.seek(2);
    file.write(large.data(), large.size());  // over the first copy, from inside the head
    file.write("!", 1);
    EXPECT_EQ(file.size(), static_cast<std::int64_t>(large.size() + 8));
    ASSERT_TRUE(file.close());
    std::ifstream in(path, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(written, "he" + large + "!" + large.substr(large.size() - 1) + "tail");
}
