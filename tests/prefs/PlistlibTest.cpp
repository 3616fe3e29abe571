// A second, independent reader and writer of property lists (Python's
// plistlib) agrees with the store on values of every type.
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <climits>

#include "PrefsTest.h"
#include "common/TestSupport.h"
#include "prefs/ZGXPreferences.h"

namespace {

// Prints every value of a property list as "path<TAB>type<TAB>value", one a
// line, in file order; strings as JSON, data as hex, reals as Python's repr.
const char kDumpScript[] = R"PY(
import json, plistlib, sys
def walk(v, path, out):
    if isinstance(v, bool):
        out.append((path, "bool", "true" if v else "false"))
    elif isinstance(v, int):
        out.append((path, "int", str(v)))
    elif isinstance(v, float):
        out.append((path, "real", repr(v)))
    elif isinstance(v, str):
        out.append((path, "string", json.dumps(v, ensure_ascii=True)))
    elif isinstance(v, bytes):
        out.append((path, "data", v.hex()))
    elif isinstance(v, list):
        out.append((path, "array", str(len(v))))
        for i, x in enumerate(v):
            walk(x, "%s[%d]" % (path, i), out)
    elif isinstance(v, dict):
        if path:
            out.append((path, "dict", str(len(v))))
        for k, x in v.items():
            walk(x, path + "/" + k, out)
    else:
        out.append((path, "other", repr(v)))
with open(sys.argv[1], "rb") as f:
    lines = []
    walk(plistlib.load(f), "", lines)
sys.stdout.write("".join("%s\t%s\t%s\n" % l for l in lines))
)PY";

// Writes a property list with plistlib's own writer.
const char kWriteScript[] = R"PY(
import plistlib, sys
value = {
    "Str": "caf\u00e9 <&> \"q\"",
    "Int": -42,
    "Big": 2 ** 40,
    "Real": 2.75,
    "Yes": True,
    "No": False,
    "Data": bytes(range(200)),
    "List": ["a", "", "b"],
    "Mixed": ["a", 1],
    "Nested": {"Deeper": {"Value": "v"}, "Empty": {}},
}
with open(sys.argv[1], "wb") as f:
    plistlib.dump(value, f)
)PY";

class PlistlibTest : public CPrefsTest {
protected:
    void SetUp() override
    {
        CPrefsTest::SetUp();
        m_python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    }
    // Runs a script with one argument; false with the reason on failure.
    bool RunPython(const char* script, const std::string& arg, QString* out)
    {
        QProcess p;
        p.start(m_python, {QStringLiteral("-c"), QString::fromUtf8(script), QString::fromStdString(arg)});
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            *out = QString::fromUtf8(p.readAllStandardError());
            return false;
        }
        *out = QString::fromUtf8(p.readAllStandardOutput());
        return true;
    }
    QString m_python;
};

#define SKIP_WITHOUT_PYTHON()                                                                                          \
    if (m_python.isEmpty())                                                                                            \
    GTEST_SKIP() << "python3 is not installed; the independent plist reader (plistlib) is missing"

TEST_F(PlistlibTest, WrittenStoreReadsBackWithPlistlib)
{
    SKIP_WITHOUT_PYTHON();
    // Nested containers come from a hand-written file; the typed values are
    // written by the store; the whole document is printed by the store.
    InstallFixture("nested.plist", "Test");
    std::vector<uint8_t> bytes(100);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + 3);
    {
        CZGXPreferences prefs("Test");
        CZGXTString error;
        ASSERT_TRUE(prefs.Load(error)) << error;
        prefs.WriteString("Typed/String", "caf\xC3\xA9 <&> \"q\" 'a'");
        prefs.WriteString("Typed/Multiline", "one\ntwo");
        prefs.WriteString("Typed/Empty", "");
        prefs.WriteInt("Typed/Min", INT32_MIN);
        prefs.WriteInt("Typed/Max", INT32_MAX);
        prefs.WriteReal("Typed/Tenth", 0.1);
        prefs.WriteReal("Typed/Huge", -2.5e20);
        prefs.WriteBool("Typed/Yes", true);
        prefs.WriteBool("Typed/No", false);
        prefs.WriteData("Typed/Data", bytes);
        prefs.WriteData("Typed/NoData", nullptr, 0);
        prefs.WriteStringArray("Typed/List", {"one", "", "x/y"});
        prefs.WriteInt("Profiles/[Current]//Position/Enable", 135);
        ASSERT_TRUE(prefs.Save());
    }
    QString out;
    ASSERT_TRUE(RunPython(kDumpScript, StoreFile("Test"), &out)) << out.toStdString();

    QString hex;
    for (uint8_t b : bytes)
        hex += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
    const QString expected = QStringLiteral("/Matrix\tarray\t4\n"
                                            "/Matrix[0]\tarray\t2\n"
                                            "/Matrix[0][0]\tint\t1\n"
                                            "/Matrix[0][1]\tint\t2\n"
                                            "/Matrix[1]\tarray\t2\n"
                                            "/Matrix[1][0]\treal\t0.5\n"
                                            "/Matrix[1][1]\tarray\t2\n"
                                            "/Matrix[1][1][0]\tstring\t\"deep\"\n"
                                            "/Matrix[1][1][1]\tdata\t000102ff\n"
                                            "/Matrix[2]\tdict\t1\n"
                                            "/Matrix[2]/InArray\tbool\ttrue\n"
                                            "/Matrix[3]\tarray\t0\n"
                                            "/Spaces\tstring\t\"  two spaces  \"\n"
                                            "/Typed\tdict\t12\n"
                                            "/Typed/String\tstring\t\"caf\\u00e9 <&> \\\"q\\\" 'a'\"\n"
                                            "/Typed/Multiline\tstring\t\"one\\ntwo\"\n"
                                            "/Typed/Empty\tstring\t\"\"\n"
                                            "/Typed/Min\tint\t-2147483648\n"
                                            "/Typed/Max\tint\t2147483647\n"
                                            "/Typed/Tenth\treal\t0.1\n"
                                            "/Typed/Huge\treal\t-2.5e+20\n"
                                            "/Typed/Yes\tbool\ttrue\n"
                                            "/Typed/No\tbool\tfalse\n"
                                            "/Typed/Data\tdata\t%1\n"
                                            "/Typed/NoData\tdata\t\n"
                                            "/Typed/List\tarray\t3\n"
                                            "/Typed/List[0]\tstring\t\"one\"\n"
                                            "/Typed/List[1]\tstring\t\"\"\n"
                                            "/Typed/List[2]\tstring\t\"x/y\"\n"
                                            "/Profiles\tdict\t1\n"
                                            "/Profiles/[Current]\tdict\t1\n"
                                            "/Profiles/[Current]/Position\tdict\t1\n"
                                            "/Profiles/[Current]/Position/Enable\tint\t135\n")
                                 .arg(hex);
    EXPECT_EQ(out.toStdString(), expected.toStdString());
}

TEST_F(PlistlibTest, PlistlibFileReadsWithTheStore)
{
    SKIP_WITHOUT_PYTHON();
    QDir().mkpath(UserBase() + QStringLiteral("/Meshwright"));
    QString out;
    ASSERT_TRUE(RunPython(kWriteScript, StoreFile("Test"), &out)) << out.toStdString();

    CZGXPreferences prefs("Test");
    CZGXTString error;
    ASSERT_TRUE(prefs.Load(error)) << error;
    EXPECT_FALSE(prefs.IsDamaged());
    CZGXTString s;
    EXPECT_TRUE(prefs.ReadString("Str", s));
    EXPECT_EQ(s, "caf\xC3\xA9 <&> \"q\"");
    int32_t n = 0;
    EXPECT_TRUE(prefs.ReadInt("Int", n));
    EXPECT_EQ(n, -42);
    EXPECT_FALSE(prefs.ReadInt("Big", n, 5)) << "beyond 32 bits";
    EXPECT_EQ(n, 5);
    double r = 0;
    EXPECT_TRUE(prefs.ReadReal("Real", r));
    EXPECT_EQ(r, 2.75);
    bool b = false;
    EXPECT_TRUE(prefs.ReadBool("Yes", b));
    EXPECT_TRUE(b);
    EXPECT_TRUE(prefs.ReadBool("No", b));
    EXPECT_FALSE(b);
    std::vector<uint8_t> data;
    EXPECT_TRUE(prefs.ReadData("Data", data));
    ASSERT_EQ(data.size(), 200u);
    for (size_t i = 0; i < data.size(); ++i)
        ASSERT_EQ(data[i], uint8_t(i));
    std::vector<CZGXTString> list;
    EXPECT_TRUE(prefs.ReadStringArray("List", list));
    EXPECT_EQ(list, (std::vector<CZGXTString>{"a", "", "b"}));
    EXPECT_FALSE(prefs.ReadStringArray("Mixed", list, {"default"}));
    EXPECT_EQ(list, std::vector<CZGXTString>{"default"});
    EXPECT_TRUE(prefs.ReadString("Nested/Deeper/Value", s));
    EXPECT_EQ(s, "v");
    EXPECT_EQ(prefs.TypeOf("Nested/Empty"), ePrefDict);

    // Writing into plistlib's layout keeps the file readable by plistlib.
    prefs.WriteString("Nested/Empty/Now", "filled");
    ASSERT_TRUE(prefs.Save());
    ASSERT_TRUE(RunPython(kDumpScript, StoreFile("Test"), &out)) << out.toStdString();
    EXPECT_NE(out.indexOf(QStringLiteral("/Nested/Empty/Now\tstring\t\"filled\"\n")), -1) << out.toStdString();
    EXPECT_NE(out.indexOf(QStringLiteral("/Mixed[1]\tint\t1\n")), -1) << out.toStdString();
}

} // namespace
