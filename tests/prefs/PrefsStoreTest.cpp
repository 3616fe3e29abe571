// The preference store: file frame and location, repair and load errors,
// key paths, typed values, removal, saving and reloading.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cctype>
#include <climits>
#include <ostream>
#include <cstring>

#include "PrefsTest.h"
#include "common/TestSupport.h"
#include "prefs/Base64.h"
#include "prefs/ZGXPreferences.h"
#include "prefs/ZGXPreferencesImpl.h"

namespace {

const char kFrame[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                      "<plist version=\"1.0\">\n"
                      "<dict>\n"
                      "</dict>\n"
                      "</plist>\n";

QStringList FolderEntries(const std::string& file)
{
    return QDir(QFileInfo(QString::fromStdString(file)).path()).entryList(QDir::Files | QDir::Hidden);
}

class StoreTest : public CPrefsTest {
protected:
    // Loads the store "Test", expecting success.
    void LoadOk(CZGXPreferences& prefs, bool watch = false)
    {
        CZGXTString error;
        ASSERT_TRUE(prefs.Load(error, watch)) << error;
        EXPECT_EQ(error, "");
    }
};

TEST_F(StoreTest, MissingStoreIsCreatedWithTheFrameAndItsFolder)
{
    ASSERT_FALSE(QDir(UserBase()).exists());
    CZGXPreferences prefs("Test");
    EXPECT_EQ(prefs.Path(), StoreFile("Test"));
    LoadOk(prefs);
    EXPECT_EQ(ReadFileBytes(StoreFile("Test")), kFrame);

    int32_t n = 5;
    EXPECT_FALSE(prefs.ReadInt("Missing/Value", n));
    EXPECT_EQ(n, 5);
    EXPECT_FALSE(prefs.ReadInt("Missing/Value", n, 7));
    EXPECT_EQ(n, 7);
    EXPECT_FALSE(prefs.IsDirty());

    // The all-users store has its own folder.
    CZGXPreferences shared("Test", ePrefAllUsers);
    LoadOk(shared);
    EXPECT_EQ(ReadFileBytes(StoreFile("Test", ePrefAllUsers)), kFrame);
}

TEST_F(StoreTest, NamesThatAreNoFileNameFailToOpen)
{
    for (const char* name : {"", ".", "..", "../escape", "a/b", "a\\b"}) {
        CZGXPreferences prefs(name);
        EXPECT_EQ(prefs.Path(), "") << name;
        CZGXTString error;
        EXPECT_FALSE(prefs.Load(error)) << name;
        EXPECT_EQ(error, "ERROR: Failed to open filed, or write temporary file!");
        EXPECT_EQ(prefs.WriteInt("A", 1), ePrefNoDocument);
        EXPECT_FALSE(prefs.Save(true));
    }
    // Nothing was created anywhere.
    EXPECT_FALSE(QDir(UserBase()).exists());
}

struct SRepairCase {
    const char* fixture;
    const char* existingKey; // a value that survives, or null
    bool damaged;            // the file itself could not be parsed
};

void PrintTo(const SRepairCase& c, std::ostream* os)
{
    *os << c.fixture;
}

// Test names from the fixture file names.
template <class T>
std::string FixtureName(const ::testing::TestParamInfo<T>& info)
{
    std::string name = info.param.fixture;
    name = name.substr(0, name.find('.'));
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
}

class StoreRepairTest : public StoreTest, public ::testing::WithParamInterface<SRepairCase> {};

TEST_P(StoreRepairTest, LoadsAndRebuildsTheFrame)
{
    const SRepairCase& c = GetParam();
    InstallFixture(c.fixture, "Test");
    const std::string original = ReadFileBytes(StoreFile("Test"));
    {
        CZGXPreferences prefs("Test");
        LoadOk(prefs);
        EXPECT_EQ(prefs.IsDamaged(), c.damaged);
        if (c.existingKey) {
            EXPECT_TRUE(prefs.HasKey(c.existingKey));
        }
        // Nothing written: the file stays as it was.
        EXPECT_TRUE(prefs.Save(false));
        EXPECT_EQ(ReadFileBytes(StoreFile("Test")), original);
        ASSERT_EQ(prefs.WriteString("Added/Value", "new"), ePrefDone);
        ASSERT_TRUE(prefs.Save(false));
    }
    // The rewritten file has the whole frame and keeps what was readable.
    const std::string saved = ReadFileBytes(StoreFile("Test"));
    EXPECT_EQ(saved.rfind("<?xml version=\"1.0\"", 0), 0u) << saved;
    CZGXPreferences again("Test");
    LoadOk(again);
    EXPECT_FALSE(again.IsDamaged());
    CZGXTString value;
    EXPECT_TRUE(again.ReadString("Added/Value", value));
    EXPECT_EQ(value, "new");
    if (c.existingKey) {
        EXPECT_TRUE(again.HasKey(c.existingKey));
    }
    // An unparsable original is kept beside its replacement.
    const std::string copy = StoreFile("Test") + ".damaged";
    EXPECT_EQ(QFile::exists(QString::fromStdString(copy)), c.damaged);
    if (c.damaged) {
        EXPECT_EQ(ReadFileBytes(copy), original);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, StoreRepairTest,
                         ::testing::Values(SRepairCase{"bare_plist.plist", nullptr, false},
                                           SRepairCase{"no_declaration.plist", "Name", false},
                                           SRepairCase{"root_array.plist", nullptr, false},
                                           SRepairCase{"truncated_entry.plist", "Kept", true}),
                         FixtureName<SRepairCase>);

TEST_F(StoreTest, BarePlistGetsDeclarationAndDictInMemory)
{
    InstallFixture("bare_plist.plist", "Test");
    CZGXPreferences prefs("Test");
    LoadOk(prefs);
    ASSERT_EQ(prefs.WriteBool("Flag", true), ePrefDone);
    ASSERT_TRUE(prefs.Save());
    EXPECT_EQ(ReadFileBytes(StoreFile("Test")), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                                "<plist version=\"1.0\">\n"
                                                "\t<dict>\n"
                                                "\t\t<key>Flag</key>\n"
                                                "\t\t<true />\n"
                                                "\t</dict>\n"
                                                "</plist>\n");
}

TEST_F(StoreTest, RootWithAnotherValueGetsOneDictOnly)
{
    InstallFixture("root_array.plist", "Test");
    for (int round = 0; round < 2; ++round) {
        CZGXPreferences prefs("Test");
        LoadOk(prefs);
        ASSERT_EQ(prefs.WriteInt("Round", round), ePrefDone);
        ASSERT_TRUE(prefs.Save());
    }
    const std::string saved = ReadFileBytes(StoreFile("Test"));
    size_t dicts = 0;
    for (size_t at = saved.find("<dict>"); at != std::string::npos; at = saved.find("<dict>", at + 1))
        ++dicts;
    EXPECT_EQ(dicts, 1u) << saved;
    EXPECT_NE(saved.find("not a dict"), std::string::npos);
}

struct SErrorCase {
    const char* fixture;
    const char* error;
};

void PrintTo(const SErrorCase& c, std::ostream* os)
{
    *os << c.fixture;
}

class StoreErrorTest : public StoreTest, public ::testing::WithParamInterface<SErrorCase> {};

TEST_P(StoreErrorTest, FailsWithTheTextAndKeepsTheFileUntilAWrite)
{
    const SErrorCase& c = GetParam();
    InstallFixture(c.fixture, "Test");
    const std::string original = ReadFileBytes(StoreFile("Test"));
    CZGXPreferences prefs("Test");
    CZGXTString error;
    EXPECT_FALSE(prefs.Load(error));
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(prefs.IsDamaged());

    // The program goes on with defaults...
    CZGXTString value = "unchanged";
    EXPECT_FALSE(prefs.ReadString("Second", value, "default"));
    EXPECT_EQ(value, "default");
    // ...and even a forced save leaves the damaged file alone.
    EXPECT_TRUE(prefs.Save(true));
    EXPECT_EQ(ReadFileBytes(StoreFile("Test")), original);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(StoreFile("Test") + ".damaged")));

    // Once the user changes something, the store is written and the damaged
    // file kept as a copy.
    ASSERT_EQ(prefs.WriteString("Fresh", "start"), ePrefDone);
    ASSERT_TRUE(prefs.Save());
    EXPECT_EQ(ReadFileBytes(StoreFile("Test") + ".damaged"), original);
    CZGXPreferences again("Test");
    LoadOk(again);
    EXPECT_TRUE(again.ReadString("Fresh", value));
    EXPECT_EQ(value, "start");
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, StoreErrorTest,
    ::testing::Values(SErrorCase{"two_keys.plist", "ERROR: Key missing value on line: 6\n"},
                      SErrorCase{"key_at_end.plist", "ERROR: Key missing value!"},
                      SErrorCase{"missing_key.plist", "ERROR: Missing <key> tag on line: 8\n"},
                      SErrorCase{"key_in_array.plist", "ERROR: Array elements cannot contain a <key> tag! Line: 8\n"},
                      SErrorCase{"root_not_plist.plist", "ERROR: The root element <settings> is not <plist>!\n"},
                      SErrorCase{"truncated_broken.plist", "[7:4]: Error parsing start element tag"}),
    FixtureName<SErrorCase>);

TEST_F(StoreTest, EquivalentKeyPathsAddressOneValue)
{
    CZGXPreferences prefs("Test");
    LoadOk(prefs);
    ASSERT_EQ(prefs.WriteInt("A/B", 1), ePrefDone);
    for (const char* key : {"A/B", "/A/B", "A//B/", "//A///B//"}) {
        int32_t n = 0;
        EXPECT_TRUE(prefs.HasKey(key)) << key;
        EXPECT_TRUE(prefs.ReadInt(key, n)) << key;
        EXPECT_EQ(n, 1) << key;
    }
    ASSERT_EQ(prefs.WriteInt("/A//B/", 2), ePrefDone);
    int32_t n = 0;
    EXPECT_TRUE(prefs.ReadInt("A/B", n));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(prefs.TypeOf("A"), ePrefDict);
    // Keys are compared exactly.
    EXPECT_FALSE(prefs.HasKey("a/b"));
    EXPECT_FALSE(prefs.HasKey("A/B "));

    for (const char* empty : {"", "/", "///"}) {
        EXPECT_EQ(prefs.WriteInt(empty, 1), ePrefEmptyKey);
        EXPECT_EQ(prefs.RemoveKey(empty), ePrefEmptyKey);
        EXPECT_FALSE(prefs.HasKey(empty));
    }
}

TEST_F(StoreTest, ReadOfAnotherTypeGivesTheDefault)
{
    CZGXPreferences prefs("Test");
    LoadOk(prefs);
    prefs.WriteString("v/string", "text");
    prefs.WriteInt("v/integer", 1);
    prefs.WriteReal("v/real", 1.5);
    prefs.WriteBool("v/true", true);
    prefs.WriteData("v/data", "\x01", 1);
    prefs.WriteStringArray("v/array", {"x"});
    for (const char* key : {"v/string", "v/integer", "v/real", "v/true", "v/data", "v/array", "v"}) {
        const std::string k = key;
        bool b = false;
        int32_t i = 0;
        double r = 0;
        CZGXTString s;
        std::vector<uint8_t> d;
        std::vector<CZGXTString> a;
        EXPECT_EQ(prefs.ReadBool(key, b, false), k == "v/true") << key;
        EXPECT_EQ(prefs.ReadInt(key, i, 42), k == "v/integer") << key;
        EXPECT_EQ(prefs.ReadReal(key, r, 4.5), k == "v/real") << key;
        EXPECT_EQ(prefs.ReadString(key, s, "def"), k == "v/string") << key;
        EXPECT_EQ(prefs.ReadData(key, d, {9}), k == "v/data") << key;
        EXPECT_EQ(prefs.ReadStringArray(key, a, {"def"}), k == "v/array") << key;
        if (k != "v/integer") {
            EXPECT_EQ(i, 42) << key;
        }
        if (k != "v/real") {
            EXPECT_EQ(r, 4.5) << key;
        }
        if (k != "v/string") {
            EXPECT_EQ(s, "def") << key;
        }
        if (k != "v/data") {
            EXPECT_EQ(d, std::vector<uint8_t>{9}) << key;
        }
        if (k != "v/array") {
            EXPECT_EQ(a, std::vector<CZGXTString>{"def"}) << key;
        }
    }
    // The boolean read of an integer yields the default; without one the
    // value is left alone.
    bool flag = true;
    EXPECT_FALSE(prefs.ReadBool("v/integer", flag));
    EXPECT_TRUE(flag);
    // A number the store cannot hold in 32 bits is not read.
    InstallText(std::string(kFrame).replace(std::string(kFrame).find("</dict>"), 0,
                                            "<key>Big</key><integer>4294967296</integer>\n"),
                "Big");
    CZGXPreferences big("Big");
    LoadOk(big);
    int32_t n = 3;
    EXPECT_FALSE(big.ReadInt("Big", n));
    EXPECT_EQ(n, 3);
}

TEST_F(StoreTest, EveryTypeSurvivesSaveAndLoad)
{
    std::vector<uint8_t> bytes(256);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i);
    const CZGXTString awkward = "  <tag> & \"quotes\" 'apostrophes' \xC3\xA9\xE2\x82\xAC \ttab\nline  ";
    {
        CZGXPreferences prefs("Test");
        LoadOk(prefs);
        EXPECT_EQ(prefs.WriteString("S/awkward", awkward), ePrefDone);
        EXPECT_EQ(prefs.WriteString("S/empty", ""), ePrefDone);
        EXPECT_EQ(prefs.WriteString("S/blank", "   "), ePrefDone);
        EXPECT_EQ(prefs.WriteInt("I/min", INT32_MIN), ePrefDone);
        EXPECT_EQ(prefs.WriteInt("I/max", INT32_MAX), ePrefDone);
        EXPECT_EQ(prefs.WriteReal("R/third", 1.0 / 3.0), ePrefDone);
        EXPECT_EQ(prefs.WriteReal("R/big", -2.5e20), ePrefDone);
        EXPECT_EQ(prefs.WriteBool("B/yes", true), ePrefDone);
        EXPECT_EQ(prefs.WriteBool("B/no", false), ePrefDone);
        EXPECT_EQ(prefs.WriteData("D/all", bytes), ePrefDone);
        EXPECT_EQ(prefs.WriteData("D/none", nullptr, 0), ePrefDone);
        EXPECT_EQ(prefs.WriteStringArray("A/list", {"one", "", "three & <four>"}), ePrefDone);
        EXPECT_EQ(prefs.WriteStringArray("A/empty", {}), ePrefDone);
        EXPECT_TRUE(prefs.IsDirty());
        ASSERT_TRUE(prefs.Save());
        EXPECT_FALSE(prefs.IsDirty());
    }
    CZGXPreferences prefs("Test");
    LoadOk(prefs);
    CZGXTString s;
    EXPECT_TRUE(prefs.ReadString("S/awkward", s));
    EXPECT_EQ(s, awkward);
    EXPECT_TRUE(prefs.ReadString("S/empty", s));
    EXPECT_EQ(s, "");
    EXPECT_TRUE(prefs.ReadString("S/blank", s));
    EXPECT_EQ(s, "   ");
    int32_t i = 0;
    EXPECT_TRUE(prefs.ReadInt("I/min", i));
    EXPECT_EQ(i, INT32_MIN);
    EXPECT_TRUE(prefs.ReadInt("I/max", i));
    EXPECT_EQ(i, INT32_MAX);
    double r = 0;
    // Reals keep six significant digits.
    EXPECT_TRUE(prefs.ReadReal("R/third", r));
    EXPECT_EQ(r, 0.333333);
    EXPECT_TRUE(prefs.ReadReal("R/big", r));
    EXPECT_EQ(r, -2.5e20);
    bool b = false;
    EXPECT_TRUE(prefs.ReadBool("B/yes", b));
    EXPECT_TRUE(b);
    EXPECT_TRUE(prefs.ReadBool("B/no", b));
    EXPECT_FALSE(b);
    std::vector<uint8_t> d;
    EXPECT_TRUE(prefs.ReadData("D/all", d));
    EXPECT_EQ(d, bytes);
    EXPECT_TRUE(prefs.ReadData("D/none", d));
    EXPECT_TRUE(d.empty());
    std::vector<CZGXTString> a;
    EXPECT_TRUE(prefs.ReadStringArray("A/list", a));
    EXPECT_EQ(a, (std::vector<CZGXTString>{"one", "", "three & <four>"}));
    EXPECT_TRUE(prefs.ReadStringArray("A/empty", a));
    EXPECT_TRUE(a.empty());
}

TEST_F(StoreTest, HundredBytesOfDataAreTwoBase64Lines)
{
    std::vector<uint8_t> bytes(100, 0xA5);
    CZGXPreferences prefs("Test");
    LoadOk(prefs);
    ASSERT_EQ(prefs.WriteData("Blob", bytes), ePrefDone);
    ASSERT_TRUE(prefs.Save());
    const std::string file = ReadFileBytes(StoreFile("Test"));
    const size_t open = file.find("<data>");
    const size_t close = file.find("</data>");
    ASSERT_NE(open, std::string::npos);
    ASSERT_NE(close, std::string::npos);
    const std::string text = file.substr(open + 6, close - open - 6);
    const CZGXTString b64 = Base64Encode(bytes.data(), bytes.size(), 0);
    ASSERT_EQ(b64.size(), 136u);
    EXPECT_EQ(text, b64.substr(0, 72) + "\n" + b64.substr(72) + "\n");
}

TEST_F(StoreTest, WritesAppendNewKeysAndReplaceValuesInPlace)
{
    CZGXPreferences prefs("Test");
    LoadOk(prefs);
    prefs.WriteInt("D/first", 1);
    prefs.WriteInt("D/second", 2);
    prefs.WriteString("D/first", "now a string");
    prefs.WriteInt("D/third", 3);
    // A value in the way of a deeper path becomes a dictionary.
    prefs.WriteInt("Scalar", 1);
    prefs.WriteBool("Scalar/Inner", true);
    ASSERT_TRUE(prefs.Save());
    const std::string file = ReadFileBytes(StoreFile("Test"));
    const size_t first = file.find("<key>first</key>");
    const size_t second = file.find("<key>second</key>");
    const size_t third = file.find("<key>third</key>");
    ASSERT_NE(first, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(file.find("<key>first</key>\n\t\t\t<string>now a string</string>"), std::string::npos) << file;
    EXPECT_EQ(file.find("<integer>1</integer>\n\t\t\t<key>second"), std::string::npos);
    EXPECT_EQ(prefs.TypeOf("Scalar"), ePrefDict);
    EXPECT_EQ(prefs.TypeOf("Scalar/Inner"), ePrefTrue);
}

TEST_F(StoreTest, RemoveKeyCleansUpEmptyDictionariesUpwards)
{
    CZGXPreferences prefs("Test");
    LoadOk(prefs);
    prefs.WriteInt("A/B/C/D", 1);
    prefs.WriteInt("A/Keep", 2);
    ASSERT_TRUE(prefs.Save());

    EXPECT_EQ(prefs.RemoveKey("A/B/C/Missing"), ePrefNotFound);
    EXPECT_EQ(prefs.RemoveKey("A/Keep/Deeper"), ePrefNotFound);
    EXPECT_EQ(prefs.RemoveKey("Nothing"), ePrefNotFound);
    EXPECT_FALSE(prefs.IsDirty());

    EXPECT_EQ(prefs.RemoveKey("A/B/C/D"), ePrefDone);
    EXPECT_TRUE(prefs.IsDirty());
    EXPECT_FALSE(prefs.HasKey("A/B/C"));
    EXPECT_FALSE(prefs.HasKey("A/B"));
    EXPECT_TRUE(prefs.HasKey("A/Keep"));
    EXPECT_EQ(prefs.RemoveKey("A/Keep"), ePrefDone);
    EXPECT_FALSE(prefs.HasKey("A"));
    // A whole subtree goes at once, and the lookups still work afterwards.
    prefs.WriteInt("X/Y/Z", 1);
    prefs.WriteInt("X/W", 2);
    EXPECT_EQ(prefs.RemoveKey("X"), ePrefDone);
    EXPECT_FALSE(prefs.HasKey("X/W"));
    prefs.WriteInt("X/W", 3);
    int32_t n = 0;
    EXPECT_TRUE(prefs.ReadInt("X/W", n));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(prefs.RemoveKey("X/W"), ePrefDone);
    ASSERT_TRUE(prefs.Save());
    EXPECT_EQ(ReadFileBytes(StoreFile("Test")), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                                "<plist version=\"1.0\">\n"
                                                "\t<dict />\n"
                                                "</plist>\n");
}

TEST_F(StoreTest, SavingTwiceWithoutChangesWritesOnce)
{
    CZGXPreferences prefs("Test");
    EXPECT_FALSE(prefs.Save(true)) << "nothing loaded";
    EXPECT_EQ(prefs.WriteInt("A", 1), ePrefNoDocument);
    LoadOk(prefs);
    const std::string path = StoreFile("Test");
    const std::string created = FileIdentity(path);
    EXPECT_TRUE(prefs.Save(false));
    EXPECT_EQ(FileIdentity(path), created);

    prefs.WriteInt("A", 1);
    EXPECT_TRUE(prefs.Save(false));
    const std::string written = FileIdentity(path);
    EXPECT_NE(written, created);
    EXPECT_TRUE(prefs.Save(false));
    EXPECT_EQ(FileIdentity(path), written);
    EXPECT_TRUE(prefs.Save(true));
    EXPECT_NE(FileIdentity(path), written);
    // No temporary file is left behind.
    EXPECT_EQ(FolderEntries(path), QStringList{QStringLiteral("Test.plist")});
}

// File access whose written data never reaches the disk (a full disk).
class CFullDiskPlatform : public CZGXPreferencesPosix {
public:
    std::unique_ptr<SZGXPrefStream> OpenStream(const CZGXTString& name, bool forWriting, int location,
                                               bool useTemporary) override
    {
        std::unique_ptr<SZGXPrefStream> s = CZGXPreferencesPosix::OpenStream(name, forWriting, location, useTemporary);
        if (s && forWriting) {
            std::fclose(s->file);
            s->file = std::fopen("/dev/full", "wb");
        }
        return s;
    }
};

TEST_F(StoreTest, FailedSaveKeepsTheOldFile)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full to stand in for a full disk";
    {
        CZGXPreferences prefs("Test");
        LoadOk(prefs);
        prefs.WriteString("Old", "value");
        ASSERT_TRUE(prefs.Save());
    }
    const std::string before = ReadFileBytes(StoreFile("Test"));
    CZGXPreferences prefs("Test", ePrefUser, std::make_unique<CFullDiskPlatform>());
    LoadOk(prefs);
    prefs.WriteString("New", "value");
    EXPECT_FALSE(prefs.Save());
    EXPECT_TRUE(prefs.IsDirty());
    EXPECT_EQ(ReadFileBytes(StoreFile("Test")), before);
    EXPECT_EQ(FolderEntries(StoreFile("Test")), QStringList{QStringLiteral("Test.plist")});
}

TEST_F(StoreTest, WatchedStoreReloadsWhenAnotherWriterChangedTheFile)
{
    CZGXPreferences watched("Test");
    LoadOk(watched, true);
    CZGXPreferences unwatched("Test");
    LoadOk(unwatched, false);
    {
        CZGXPreferences other("Test");
        LoadOk(other);
        other.WriteString("Shared", "from the other writer");
        ASSERT_TRUE(other.Save());
    }
    CZGXTString value;
    EXPECT_TRUE(watched.ReadString("Shared", value));
    EXPECT_EQ(value, "from the other writer");
    EXPECT_FALSE(unwatched.ReadString("Shared", value));

    // Unsaved changes are never thrown away by a reload.
    watched.WriteString("Mine", "unsaved");
    {
        CZGXPreferences other("Test");
        LoadOk(other);
        other.WriteString("Shared", "changed again");
        ASSERT_TRUE(other.Save());
    }
    EXPECT_TRUE(watched.ReadString("Mine", value));
    EXPECT_EQ(value, "unsaved");
    EXPECT_TRUE(watched.ReadString("Shared", value));
    EXPECT_EQ(value, "from the other writer");

    // A watched store's own saves are not taken for another writer's.
    ASSERT_TRUE(watched.Save());
    watched.WriteString("Mine", "saved");
    EXPECT_TRUE(watched.ReadString("Mine", value));
    EXPECT_EQ(value, "saved");
}

TEST_F(StoreTest, FailedReloadMakesAccessFail)
{
    CZGXPreferences watched("Test");
    LoadOk(watched, true);
    watched.WriteInt("A", 1);
    ASSERT_TRUE(watched.Save());
    InstallFixture("two_keys.plist", "Test");
    int32_t n = 0;
    EXPECT_FALSE(watched.ReadInt("A", n, 9));
    EXPECT_EQ(n, 9);
}

TEST(Base64, EncodesAndDecodesTheStandardAlphabet)
{
    const std::pair<const char*, const char*> table[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xfb\xff", "+/8="},
    };
    for (const auto& [plain, coded] : table) {
        EXPECT_EQ(Base64Encode(plain, std::strlen(plain), 0), coded);
        std::vector<uint8_t> out;
        ASSERT_TRUE(Base64Decode(coded, std::strlen(coded), out)) << coded;
        EXPECT_EQ(std::string(out.begin(), out.end()), plain);
    }
    std::vector<uint8_t> out{1};
    EXPECT_TRUE(Base64Decode(" Zm9v\n\tYmFy\r\n", 13, out));
    EXPECT_EQ(std::string(out.begin(), out.end()), "foobar");
    for (const char* bad : {"Zm9v!", "Z", "Zg=a", "Zg===", "=Zg=", "Zm9vY"}) {
        std::vector<uint8_t> keep{7};
        EXPECT_FALSE(Base64Decode(bad, std::strlen(bad), keep)) << bad;
        EXPECT_EQ(keep, std::vector<uint8_t>{7}) << bad;
    }
    // Lines of 72 characters, each ended, the last one too.
    EXPECT_EQ(Base64Encode("foo", 3, 72), "Zm9v\n");
    // 54 bytes fill one line exactly: one line feed, not two.
    const std::string full(54, 'x');
    EXPECT_EQ(Base64Encode(full.data(), full.size(), 72), Base64Encode(full.data(), full.size(), 0) + "\n");
    EXPECT_EQ(Base64Encode(full.data(), full.size(), 72).size(), 73u);
}

TEST(KeyEscape, NamesBecomeOneComponent)
{
    const std::pair<const char*, const char*> table[] = {
        {"Mobile", "Mobile"}, {"0:a/b", "0:a%2Fb"}, {"50%", "50%25"}, {"%2F", "%252F"}, {"//", "%2F%2F"}, {"", ""},
    };
    for (const auto& [name, escaped] : table) {
        EXPECT_EQ(CZGXPreferences::EscapeKey(name), escaped);
        EXPECT_EQ(CZGXPreferences::UnescapeKey(escaped), name);
        EXPECT_LE(CZGXPreferences::SplitKey(CZGXPreferences::EscapeKey(name)).size(), 1u);
    }
    EXPECT_EQ(CZGXPreferences::UnescapeKey("%2f%zz%"), "/%zz%");
    EXPECT_EQ(CZGXPreferences::SplitKey("/A//B/"), (std::vector<CZGXTString>{"A", "B"}));
}

} // namespace
