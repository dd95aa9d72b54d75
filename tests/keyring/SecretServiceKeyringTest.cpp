// The keyring of a real desktop: a GNOME keyring in a private D-Bus session, started by
// run-with-keyring.sh around this binary.
#include "platform/SecretServiceKeyring.h"

#include <gtest/gtest.h>

using namespace nimbra;

TEST(SecretServiceKeyring, KeepsReplacesAndRemovesAnEntryInARealKeyring)
{
    SecretServiceKeyring keyring(QStringLiteral("Nimbra File test"));
    ASSERT_TRUE(keyring.available()) << "the keyring started for this test does not answer";
    const std::string key = "news server news.example.org";
    EXPECT_FALSE(keyring.read(key)) << "a fresh keyring holds nothing";
    ASSERT_TRUE(keyring.write(key, "me\ns3cret"));
    EXPECT_EQ(keyring.read(key), "me\ns3cret");
    ASSERT_TRUE(keyring.write(key, "me\nn3w"));
    EXPECT_EQ(keyring.read(key), "me\nn3w");
    // Another program's service name sees nothing of it.
    SecretServiceKeyring other(QStringLiteral("Another program"));
    EXPECT_FALSE(other.read(key));
    ASSERT_TRUE(keyring.remove(key));
    EXPECT_FALSE(keyring.read(key));
    EXPECT_TRUE(keyring.remove(key)) << "removing what is not there is no failure";
}
