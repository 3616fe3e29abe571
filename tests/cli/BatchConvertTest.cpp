// Many scenes in one call: -d OUTDIR, folders, child processes, summaries,
// dependency files, and byte-identical outputs wherever and however run.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <QThread>

#include <csignal>
#include <map>
#include <unistd.h>

#include "TestSupport.h"
#include "bench/ColladaBenchDocument.h"

namespace {

QString Data(const char* name)
{
    return QString::fromStdString(TestDataPath(std::string("collada/") + name));
}

QString Example(const char* name)
{
    return QString::fromStdString(ExamplePath(name));
}

bool Copy(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).path());
    return QFile::copy(from, to);
}

// Every file below dir, relative path to bytes.
std::map<QString, std::string> FilesBelow(const QString& dir)
{
    std::map<QString, std::string> files;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(dir).relativeFilePath(path)] = ReadFileBytes(path.toStdString());
    }
    return files;
}

// Runs GNU make in dir on a makefile that includes the dependency file, to
// read it as make does: true when make would rebuild target.
bool MakeWouldRebuild(const QString& dir, const QString& depfile, const QString& target)
{
    WriteFileBytes((dir + "/probe.mk").toStdString(),
                   "include " + depfile.toStdString() + "\n%.qef:\n\t@echo rebuild $@\n");
    QProcess make;
    make.setWorkingDirectory(dir);
    make.start("make", {"-q", "-f", "probe.mk", target});
    make.waitForFinished();
    EXPECT_NE(make.exitCode(), 2) << make.readAllStandardError().toStdString();
    return make.exitCode() == 1;
}

void SetMtimeAhead(const QString& path, int seconds)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(seconds), QFileDevice::FileModificationTime));
}

} // namespace

TEST(BatchConvert, UsageErrors)
{
    struct {
        QStringList args;
        const char* mentions;
    } cases[] = {
        {{"convert", "a.dae", "b.dae"}, "-d OUTDIR"},
        {{"convert", "a.dae", "-o", "x.qef", "-d", "out"}, "-o and -d"},
        {{"convert", "a.dae", "-d"}, "-d needs a folder"},
        {{"convert", "a.dae", "-d", "out", "--jobs", "0"}, "--jobs"},
        {{"convert", "a.dae", "-d", "out", "-jx"}, "--jobs"},
        {{"convert", "a.dae", "-d", "out", "--format", "obj"}, "--format"},
        {{"convert", "a.dae", "--depfile"}, "--depfile"},
        {{"convert", "a.dae", "--depfile-targets", "some"}, "--depfile-targets"},
        {{"watch", "a.dae"}, "-d OUTDIR"},
        {{"watch", "-d", "out"}, "input"},
    };
    for (const auto& c : cases) {
        SCliResult r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, 64) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.mentions)) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
}

// Good and bad inputs together: every good one is converted, each failure
// has its summary line, the exit status is the highest code, and logs come
// in input order whatever the order the children finished in.
TEST(BatchConvert, ManyInputsGoodAndBad)
{
    QTemporaryDir dir;
    const QString out = dir.path() + "/out";
    const QStringList inputs = {Data("materials.dae"),       Data("malformed.dae"), Data("skin.dae"),
                                dir.path() + "/missing.dae", Data("no_scene.dae"),  Data("transforms.dae")};
    for (const char* jobs : {"1", "3"}) {
        SCliResult r = RunCli(QStringList{"convert"} + inputs + QStringList{"-d", out, "--jobs", jobs});
        EXPECT_EQ(r.exitCode, 7) << r.err.toStdString(); // no scene (7) beats input not read (1)
        for (const char* name : {"materials", "skin", "transforms"})
            EXPECT_TRUE(QFileInfo(out + "/" + name + ".qef").size() > 0) << name;
        for (const char* name : {"malformed", "missing", "no_scene"})
            EXPECT_FALSE(QFileInfo::exists(out + "/" + name + ".qef")) << name;
        EXPECT_TRUE(r.err.contains("failed: " + Data("malformed.dae") + " (exit 1")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("failed: " + dir.path() + "/missing.dae (exit 1")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("failed: " + Data("no_scene.dae") + " (exit 7")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("6 scenes: 3 converted, 3 failed")) << r.err.toStdString();
        const int materials = r.err.indexOf("materials.qef successfully written");
        const int skin = r.err.indexOf("skin.qef successfully written");
        const int transforms = r.err.indexOf("transforms.qef successfully written");
        EXPECT_TRUE(materials >= 0 && materials < skin && skin < transforms) << r.err.toStdString();
        // Not a terminal: no progress line, and no progress of the children.
        EXPECT_FALSE(r.err.contains(" scenes, ")) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("%]")) << r.err.toStdString();
    }
}

TEST(BatchConvert, FoldersAndRecursion)
{
    QTemporaryDir dir;
    const QString in = dir.path() + "/in";
    ASSERT_TRUE(Copy(Data("materials.dae"), in + "/a.dae"));
    ASSERT_TRUE(Copy(Example("textured_box.dae"), in + "/sub/b.DAE"));
    ASSERT_TRUE(Copy(QString::fromStdString(ExamplePath("cmake/scenes/triangle.gltf")), in + "/sub/deeper/t.gltf"));
    ASSERT_TRUE(
        Copy(QString::fromStdString(ExamplePath("cmake/scenes/triangle.bin")), in + "/sub/deeper/triangle.bin"));
    WriteFileBytes((in + "/notes.txt").toStdString(), "not a scene");

    SCliResult flat = RunCli({"convert", in, "-d", dir.path() + "/flat"});
    EXPECT_EQ(flat.exitCode, 0) << flat.err.toStdString();
    EXPECT_EQ(FilesBelow(dir.path() + "/flat").size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/flat/a.qef"));

    SCliResult deep = RunCli({"convert", in, "--recursive", "-d", dir.path() + "/deep", "--format", "h"});
    EXPECT_EQ(deep.exitCode, 0) << deep.err.toStdString();
    for (const char* name : {"a.h", "sub/b.h", "sub/deeper/t.h"})
        EXPECT_TRUE(QFileInfo::exists(dir.path() + "/deep/" + name)) << name;
    EXPECT_TRUE(ReadFileBytes((dir.path() + "/deep/a.h").toStdString()).find("0x") != std::string::npos);
    EXPECT_TRUE(deep.err.contains("3 scenes: 3 converted, 0 failed")) << deep.err.toStdString();
}

// Two inputs for one output are both refused before anything is converted;
// the rest still run, and the call ends with the usage status.
TEST(BatchConvert, ClashingOutputsAreRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(Copy(Data("materials.dae"), dir.path() + "/one/x.dae"));
    ASSERT_TRUE(Copy(Data("skin.dae"), dir.path() + "/two/x.dae"));
    const QString out = dir.path() + "/out";
    SCliResult r = RunCli({"convert", dir.path() + "/one/x.dae", dir.path() + "/two/x.dae", Data("transforms.dae"),
                           Data("transforms.dae"), "-d", out});
    EXPECT_EQ(r.exitCode, 64) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("would all be written to '" + out + "/x.qef'")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(dir.path() + "/two/x.dae")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out + "/x.qef"));
    EXPECT_TRUE(QFileInfo::exists(out + "/transforms.qef")); // named twice, converted once
    EXPECT_TRUE(r.err.contains("1 scenes: 1 converted, 0 failed, 2 refused")) << r.err.toStdString();
}

// Two scenes whose GLSL materials share a name write one effect file: both
// are converted, and the call says the file is shared.
TEST(BatchConvert, SharedEffectFileIsWarned)
{
    QTemporaryDir dir;
    ASSERT_TRUE(Copy(Data("glsl.dae"), dir.path() + "/one.dae"));
    ASSERT_TRUE(Copy(Data("glsl.dae"), dir.path() + "/two.dae"));
    SCliResult r = RunCli({"convert", "one.dae", "two.dae", "-d", "out"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Lit_Brick.qdl' is written by both 'one.dae' and 'two.dae'")) << r.err.toStdString();
}

// The children of process parent, by their command lines.
static std::map<pid_t, QByteArray> ChildrenOf(qint64 parent)
{
    std::map<pid_t, QByteArray> children;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        if (!number)
            continue;
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // "pid (name) state ppid ...": the name may hold spaces, so read after ')'.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent) {
            QFile cmdline("/proc/" + entry + "/cmdline");
            if (cmdline.open(QIODevice::ReadOnly))
                children[pid] = cmdline.readAll();
        }
    }
    return children;
}

// Processor time (user and system, in clock ticks) process pid has used.
static long long CpuTicks(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // After ')': state is field 0, utime field 11, stime field 12.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

// A conversion that dies (here: killed) is one failure; the others finish,
// the one after it in a new child.
TEST(BatchConvert, AConversionThatDiesTakesNothingElseDown)
{
    QTemporaryDir dir;
    const QString big = dir.path() + "/big.dae";
    ASSERT_TRUE(WriteColladaBenchDocument(big.toStdString(), false, 200000));
    QProcess batch;
    batch.setWorkingDirectory(dir.path());
    batch.start(QStringLiteral(MW_CLI_PATH),
                {"convert", Data("materials.dae"), "big.dae", Data("skin.dae"), "-d", "out", "--jobs", "1"});
    ASSERT_TRUE(batch.waitForStarted());
    // One child converts the files in turn: once materials.qef is written it
    // is handed big.dae, and busy with it once it uses processor time (it
    // uses none while it waits for a file).
    bool killed = false;
    pid_t busy = 0;
    long long ticks = -1;
    for (int i = 0; i < 4000 && !killed && batch.state() == QProcess::Running; ++i) {
        if (busy == 0 && QFileInfo::exists(dir.path() + "/out/materials.qef"))
            for (const auto& child : ChildrenOf(batch.processId()))
                if (child.second.contains(QByteArray("--batch-pool"))) {
                    busy = child.first;
                    ticks = CpuTicks(busy);
                }
        if (busy != 0 && ticks >= 0 && CpuTicks(busy) >= ticks + 5)
            killed = ::kill(busy, SIGKILL) == 0;
        if (!killed)
            QThread::msleep(5);
    }
    ASSERT_TRUE(killed) << "the conversion of big.dae was not seen running";
    ASSERT_TRUE(batch.waitForFinished(60000));
    const QString err = QString::fromUtf8(batch.readAllStandardError());
    EXPECT_EQ(batch.exitCode(), 6) << err.toStdString();
    EXPECT_TRUE(err.contains("'big.dae': the conversion stopped unexpectedly")) << err.toStdString();
    EXPECT_TRUE(err.contains("failed: big.dae (exit 6")) << err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/out/materials.qef"));
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/out/skin.qef"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/out/big.qef"));
}

// On a terminal the progress is one line that updates in place.
TEST(BatchConvert, ProgressLineOnATerminal)
{
    QTemporaryDir dir;
    // script(1) gives the program a terminal and records what it printed.
    const QString command =
        QStringLiteral("'%1' convert '%2' '%3' -d '%4/out'")
            .arg(QStringLiteral(MW_CLI_PATH), Data("materials.dae"), Data("malformed.dae"), dir.path());
    QProcess script;
    script.start("script", {"-qec", command, dir.path() + "/typescript"});
    ASSERT_TRUE(script.waitForFinished(60000));
    const QString shown = QString::fromUtf8(ReadFileBytes((dir.path() + "/typescript").toStdString()).c_str());
    EXPECT_TRUE(shown.contains("\r\x1b[2K1/2 scenes, ")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("2/2 scenes, 1 failed")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("2 scenes: 1 converted, 1 failed")) << shown.toStdString();
}

TEST(BatchConvert, FailFastStopsStartingConversions)
{
    QTemporaryDir dir;
    const QString out = dir.path() + "/out";
    SCliResult r = RunCli({"convert", Data("malformed.dae"), Data("materials.dae"), Data("skin.dae"), "-d", out,
                           "--jobs", "1", "--fail-fast"});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out + "/materials.qef"));
    EXPECT_TRUE(r.err.contains("2 not converted after the first failure")) << r.err.toStdString();
}

// A folder that cannot be made and a dependency file that cannot be written
// are reported; the conversions that can run still do, and no file is left
// half written.
TEST(BatchConvert, UnwritableOutputFolderAndDepfile)
{
    QTemporaryDir dir;
    const QString blocker = dir.path() + "/file";
    WriteFileBytes(blocker.toStdString(), "a file where a folder should be");
    SCliResult folder = RunCli({"convert", Data("materials.dae"), "-d", blocker + "/out"});
    EXPECT_EQ(folder.exitCode, 3) << folder.err.toStdString();
    EXPECT_TRUE(folder.err.contains("cannot create the output folder")) << folder.err.toStdString();

    const QString out = dir.path() + "/out";
    SCliResult dep = RunCli({"convert", Data("materials.dae"), "-d", out, "--depfile", blocker + "/deps.d"});
    EXPECT_EQ(dep.exitCode, 3) << dep.err.toStdString();
    EXPECT_TRUE(dep.err.contains("cannot write the dependency file")) << dep.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(out + "/materials.qef"));

    // A failed conversion leaves the old output and depfile as they were.
    const QString single = dir.path() + "/single.qef";
    WriteFileBytes(single.toStdString(), "old");
    WriteFileBytes((dir.path() + "/single.d").toStdString(), "old");
    SCliResult bad = RunCli({"convert", Data("malformed.dae"), "-o", single, "--depfile", dir.path() + "/single.d"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(ReadFileBytes(single.toStdString()), "old");
    EXPECT_EQ(ReadFileBytes((dir.path() + "/single.d").toStdString()), "old");
    QDir listing(dir.path());
    for (const QString& name : listing.entryList(QDir::Files))
        EXPECT_FALSE(name.contains(".tmp") || name.contains("~")) << name.toStdString();
}

// The dependency file as GNU make reads it: each output depends on its input,
// the options file and the glTF buffer; the effect file of a GLSL material is
// an output too; paths with spaces work.
TEST(BatchConvert, DepfileAsMakeReadsIt)
{
    QTemporaryDir dir;
    const QString in = dir.path() + "/my scenes";
    ASSERT_TRUE(Copy(QString::fromStdString(ExamplePath("cmake/scenes/triangle.gltf")), in + "/tri angle.gltf"));
    ASSERT_TRUE(Copy(QString::fromStdString(ExamplePath("cmake/scenes/triangle.bin")), in + "/triangle.bin"));
    ASSERT_TRUE(Copy(Data("glsl.dae"), in + "/glsl.dae"));
    ASSERT_TRUE(Copy(Example("skinned_arm.cfg"), dir.path() + "/opt$ions.cfg"));

    SCliResult r = RunCli({"convert", "my scenes", "-d", "out put", "--options", "opt$ions.cfg", "--depfile", "deps.d"},
                          dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const std::string deps = ReadFileBytes((dir.path() + "/deps.d").toStdString());
    EXPECT_NE(deps.find("out\\ put/tri\\ angle.qef:"), std::string::npos) << deps;
    EXPECT_NE(deps.find("out\\ put/glsl.qef out\\ put/Lit_Brick.qdl:"), std::string::npos) << deps;
    EXPECT_NE(deps.find("opt$$ions.cfg"), std::string::npos) << deps;
    EXPECT_EQ(deps.find(dir.path().toStdString()), std::string::npos) << "paths inside the folder are relative";

    const QString target = "out put/tri angle.qef"; // a goal on the command line is not escaped
    EXPECT_FALSE(MakeWouldRebuild(dir.path(), "deps.d", target));
    SetMtimeAhead(in + "/triangle.bin", 100);
    EXPECT_TRUE(MakeWouldRebuild(dir.path(), "deps.d", target));
    SetMtimeAhead(dir.path() + "/out put/tri angle.qef", 200);
    EXPECT_FALSE(MakeWouldRebuild(dir.path(), "deps.d", target));
    SetMtimeAhead(dir.path() + "/opt$ions.cfg", 300);
    EXPECT_TRUE(MakeWouldRebuild(dir.path(), "deps.d", target));

    SCliResult main = RunCli(
        {"convert", "my scenes/glsl.dae", "-o", "g.qef", "--depfile", "g.d", "--depfile-targets", "main"}, dir.path());
    ASSERT_EQ(main.exitCode, 0) << main.err.toStdString();
    EXPECT_EQ(ReadFileBytes((dir.path() + "/g.d").toStdString()), "g.qef: \\\n  my\\ scenes/glsl.dae\n");
}

// The same inputs and options give the same bytes: in another folder, with
// another number of jobs, the output folder named relative or absolute; for
// scene files, C source and effect files.
class BatchReproducible : public ::testing::TestWithParam<int> {};

TEST_P(BatchReproducible, SameBytesEverywhere)
{
    MW_REQUIRE_CORPUS();
    const int shard = GetParam();
    QTemporaryDir dir;
    // The shard's files, linked into one folder with their corpus paths kept.
    const QString links = dir.path() + "/links";
    // Half the corpus, every file converted twice: the conversions of every
    // file are checked by the corpus conversion tests, this checks the bytes.
    QStringList files = CorpusFiles(".dae", shard, 8) + CorpusFiles(".gltf", shard, 8) + CorpusFiles(".glb", shard, 8);
    if (shard == 0)
        files << Data("glsl.dae");
    for (const QString& file : files) {
        const QString relative = file.startsWith(CorpusDir()) ? QDir(CorpusDir()).relativeFilePath(file)
                                                              : "data/" + QFileInfo(file).fileName();
        const QString link = links + "/" + relative;
        QDir().mkpath(QFileInfo(link).path());
        ASSERT_TRUE(QFile::link(file, link));
        // glTF buffers beside their file.
        for (const QFileInfo& bin : QDir(QFileInfo(file).path()).entryInfoList({"*.bin"}, QDir::Files))
            QFile::link(bin.filePath(), QFileInfo(link).path() + "/" + bin.fileName());
    }
    const QString format = QStringList{"qef", "h", "cpp", "qef"}[shard];
    QDir().mkpath(dir.path() + "/second/deeper");
    SCliResult one = RunCli({"convert", links, "-r", "-d", "out", "--jobs", "1", "--format", format, "-q"}, dir.path());
    SCliResult two = RunCli(
        {"convert", "../../links", "-r", "-d", dir.path() + "/second/out", "--jobs", "2", "--format", format, "-q"},
        dir.path() + "/second/deeper");
    EXPECT_EQ(one.exitCode, two.exitCode);
    const auto first = FilesBelow(dir.path() + "/out");
    const auto second = FilesBelow(dir.path() + "/second/out");
    EXPECT_GT(first.size(), size_t(files.size() / 2));
    ASSERT_EQ(first.size(), second.size());
    for (const auto& f : first) {
        const auto other = second.find(f.first);
        ASSERT_NE(other, second.end()) << f.first.toStdString();
        EXPECT_TRUE(f.second == other->second) << f.first.toStdString() << " differs";
    }
}

INSTANTIATE_TEST_SUITE_P(Shard, BatchReproducible, ::testing::Range(0, 4));

// Images put beside the outputs are outputs too: the depfile names them, and
// two scenes writing one image are told apart like two writing one effect.
TEST(BatchConvert, CopiedImagesAreOutputs)
{
    QTemporaryDir dir;
    const std::string scene =
        "<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">"
        "<asset><up_axis>Y_UP</up_axis></asset><library_images><image id=\"i\"><init_from>tex/wood.png</init_from>"
        "</image></library_images><library_effects><effect id=\"e\"><profile_COMMON><technique sid=\"t\"><lambert>"
        "<diffuse><texture texture=\"i\" texcoord=\"uv\"/></diffuse></lambert></technique></profile_COMMON></effect>"
        "</library_effects><library_materials><material id=\"Wood\"><instance_effect url=\"#e\"/></material>"
        "</library_materials><library_visual_scenes><visual_scene id=\"vs\"><node id=\"n\"/></visual_scene>"
        "</library_visual_scenes><scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
    ASSERT_TRUE(WriteFileBytes((dir.path() + "/one.dae").toStdString(), scene));
    ASSERT_TRUE(WriteFileBytes((dir.path() + "/two.dae").toStdString(), scene));
    ASSERT_TRUE(QDir(dir.path()).mkpath("tex"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("single"));
    ASSERT_TRUE(WriteFileBytes((dir.path() + "/tex/wood.png").toStdString(), "wood"));

    SCliResult one =
        RunCli({"convert", "one.dae", "-o", "single/one.qef", "--copy-textures", "--depfile", "one.d"}, dir.path());
    ASSERT_EQ(one.exitCode, 0) << one.err.toStdString();
    EXPECT_EQ(ReadFileBytes((dir.path() + "/single/wood.png").toStdString()), "wood");
    const std::string rule = ReadFileBytes((dir.path() + "/one.d").toStdString());
    EXPECT_EQ(rule.substr(0, rule.find(':')), "single/one.qef single/wood.png") << rule;
    EXPECT_NE(rule.find("tex/wood.png"), std::string::npos) << rule; // read, so a dependency

    SCliResult both = RunCli({"convert", "one.dae", "two.dae", "-d", "out", "--copy-textures"}, dir.path());
    EXPECT_EQ(both.exitCode, 0) << both.err.toStdString();
    EXPECT_TRUE(both.err.contains("wood.png' is written by both 'one.dae' and 'two.dae'")) << both.err.toStdString();
}
