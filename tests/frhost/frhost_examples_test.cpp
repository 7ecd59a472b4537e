// The worked examples of `frhost --help`, run as written against the register
// emulator: over TCP on the port they name, and over COM3, which FR_COM_DIR
// maps to the emulator's pseudo-terminal.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace fr::test {
namespace {

using nlohmann::json;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

class FrhostExamples : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() /
               ("fr_frhost_ex_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        std::filesystem::create_directories(dir_ / "data");
        StartEmulator();
    }
    void TearDown() override {
        StopEmulator();
        if (in_ >= 0) ::close(in_);
        if (out_ >= 0) ::close(out_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    void StopEmulator() {
        if (pid_ <= 0) return;
        Control(R"({"cmd": "stop"})");
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) != pid_; ++i)
            ::usleep(50000);
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // The emulator on the examples' port 5555 and as COM3, read through stdin.
    void StartEmulator() {
        const std::string path = FREMU_EXECUTABLE;
        std::vector<std::string> args = {path,
                                         "--port",
                                         "5555",
                                         "--com-dir",
                                         dir_.string(),
                                         "--com",
                                         "3",
                                         "--state",
                                         (dir_ / "register.json").string(),
                                         "--tape",
                                         (dir_ / "tape.txt").string()};
        int in[2], out[2];
        ASSERT_EQ(::pipe(in), 0);
        ASSERT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        in_ = in[1];
        out_ = out[0];
        const std::string line = ReadLine();
        ASSERT_FALSE(line.empty()) << "the emulator did not start (is port 5555 in use?)";
        const json start = json::parse(line);
        ASSERT_EQ(start["tcp"]["port"], 5555) << line;
        ASSERT_TRUE(std::filesystem::exists(dir_ / "com3")) << line;
    }

    std::string ReadLine() {
        while (pending_.find('\n') == std::string::npos) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) return {};
            char buf[4096];
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0) return {};
            pending_.append(buf, static_cast<size_t>(n));
        }
        const size_t eol = pending_.find('\n');
        std::string line = pending_.substr(0, eol);
        pending_.erase(0, eol + 1);
        return line;
    }

    json Control(const std::string& request) {
        const std::string line = request + "\n";
        if (::write(in_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return {};
        const std::string reply = ReadLine();
        return reply.empty() ? json() : json::parse(reply, nullptr, false);
    }

    // One command line as a shell runs it, in the source tree, `frhost` being
    // the built one; the environment points the driver at this test's folders.
    TRun Shell(const std::string& commandLine) {
        TRun run;
        const std::string command =
            "cd '" + std::string(FR_SOURCE_DIR) + "' && FR_COMMON_APPDATA='" +
            (dir_ / "data").string() + "' FR_COM_DIR='" + dir_.string() + "' '" +
            FRHOST_EXECUTABLE + "' " + commandLine.substr(commandLine.find(' ') + 1) + " > '" +
            (dir_ / "out").string() + "' 2> '" + (dir_ / "err").string() + "'";
        const int status = std::system(command.c_str());
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.Out = ReadFile(dir_ / "out");
        run.Err = ReadFile(dir_ / "err");
        return run;
    }

    // The commands of the help's examples, in order.
    std::vector<std::string> Examples() {
        const TRun help = Shell("frhost --help");
        EXPECT_EQ(help.Status, 0);
        std::vector<std::string> commands;
        std::istringstream lines(help.Out.substr(help.Out.find("\nExamples")));
        std::string line;
        while (std::getline(lines, line) && line.rfind("Options:", 0) != 0) {
            if (line.rfind("    frhost ", 0) == 0) commands.push_back(line.substr(4));
        }
        return commands;
    }

    // The command lines of a user guide, in order: the lines of its code blocks that
    // start a program, written for cmd.exe (`x86\frhost.exe ... @examples\check.xml`).
    static std::vector<std::string> GuideCommands(const char* guide) {
        std::istringstream lines(ReadFile(std::filesystem::path(FR_SOURCE_DIR) / guide));
        std::vector<std::string> commands;
        bool inBlock = false;
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("```", 0) == 0) {
                inBlock = !inBlock;
                continue;
            }
            if (!inBlock) continue;
            for (const char* program : {"x86\\frhost.exe ", "x64\\frhost.exe ", "frhost ",
                                        "x86\\fremu.exe ", "x64\\fremu.exe ", "fremu "})
                if (line.rfind(program, 0) == 0) commands.push_back(line);
        }
        return commands;
    }

    // A guide's line as a POSIX shell takes it: the folders' separators turned.
    static std::string Posix(const std::string& commandLine) {
        std::string line = commandLine;
        const size_t args = line.find(' ');
        for (size_t i = args; i < line.size(); ++i)
            if (line[i] == '\\') line[i] = '/';
        return line;
    }

    std::vector<json> Documents(const char* kind) {
        std::vector<json> found;
        const json reply = Control(R"({"cmd": "documents"})");
        for (const json& d : reply.value("documents", json::array()))
            if (d["kind"] == kind) found.push_back(d);
        return found;
    }

    bool CameOver(const char* channel, const char* command) {
        const json reply = Control(R"({"cmd": "requests"})");
        for (const json& r : reply.value("requests", json::array()))
            if (r["channel"] == channel && r["command"] == command) return true;
        return false;
    }

    std::filesystem::path dir_;
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string pending_;
};

TEST_F(FrhostExamples, TheThreeHelpExamplesRunAsWritten) {
    const std::vector<std::string> examples = Examples();
    ASSERT_EQ(examples.size(), 3u);

    // Status over TCP.
    TRun run = Shell(examples[0]);
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_EQ(run.Out.rfind("GetCurrentStatus: true\n", 0), 0u) << run.Out;
    EXPECT_NE(run.Out.find("<StatusParameters>"), std::string::npos) << run.Out;

    // An X report over COM3: the emulator's serial line served it and printed it.
    run = Shell(examples[1]);
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_EQ(run.Out.rfind("PrintXReport: true\n", 0), 0u) << run.Out;
    const json requests = Control(R"({"cmd": "requests"})");
    bool overPty = false;
    for (const json& r : requests.value("requests", json::array()))
        overPty = overPty || r["channel"] == "pty";
    EXPECT_TRUE(overPty) << requests.dump();
    EXPECT_NE(ReadFile(dir_ / "tape.txt").find("ОТЧЕТ БЕЗ ГАШЕНИЯ"), std::string::npos);

    // A receipt from a file, in a shift the engineer opened first.
    run = Shell(
        "frhost --set PortNumber=9999 --set IPPort=5555 ОткрытьСмену 0 "
        "@examples/input_parameters.xml");
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    run = Shell(examples[2]);
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_EQ(run.Out.rfind("ProcessCheck: true\n", 0), 0u) << run.Out;
    const std::vector<json> receipts = Documents("receipt");
    ASSERT_EQ(receipts.size(), 1u);
    // The fiscal sign printed is the register's own.
    EXPECT_NE(run.Out.find("  [5] " + std::to_string(receipts[0]["fiscal_sign"].get<int64_t>())),
              std::string::npos)
        << run.Out << receipts[0].dump();
    // --log -: the driver's log lines on standard error, the exchange among them.
    EXPECT_NE(run.Err.find("============Start log============="), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("\tINFO\t> ProcessCheck"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("TSocketDevice"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find('\r'), std::string::npos);
}

TEST_F(FrhostExamples, AFailureGivesTheRegistersErrorAndASlowAnswerIsAnnounced) {
    // No shift is open: the receipt fails with the register's own text.
    TRun run = Shell(
        "frhost --set PortNumber=9999 --set IPPort=5555 ProcessCheck 0 false "
        "@examples/check.xml");
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("ProcessCheck: false\nGetLastError: "), std::string::npos) << run.Out;
    EXPECT_TRUE(Documents("receipt").empty());

    // An answer held back for a while: a notice says what frhost waits for.
    ASSERT_EQ(Control(R"({"cmd": "fault", "kind": "delay", "ms": 2500, "times": 1})")["ok"], true);
    run = Shell(
        "frhost --notice-after 1 --set PortNumber=9999 --set IPPort=5555 "
        "GetCurrentStatus 0");
    // The first exchange is the connection's, held in Open (its primary name).
    EXPECT_NE(run.Err.find("frhost: Подключить: ожидание ответа ККТ, 1 с…\n"), std::string::npos)
        << run.Err;
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("GetCurrentStatus: "), std::string::npos) << run.Out;
    // The driver's own settings, Russian names among them, at the door.
    run = Shell("frhost --set Скорост=9600 GetLastError");
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("unknown setting Скорост; nearest: Скорость"), std::string::npos)
        << run.Err;
}

TEST_F(FrhostExamples, EveryCommandLineOfTheUserGuidesRunsAsWritten) {
    const std::vector<std::string> ru = GuideCommands("docs/guide/GUIDE.ru.md");
    const std::vector<std::string> en = GuideCommands("docs/guide/GUIDE.en.md");
    // The two guides give the same commands, so running one runs both.
    EXPECT_EQ(ru, en);
    ASSERT_GE(ru.size(), 8u);
    std::vector<std::string> emulatorLines;
    for (const std::string& line : ru) {
        if (line.find("fremu") < line.find(' ')) {
            emulatorLines.push_back(line);
            continue;
        }
        const TRun run = Shell(Posix(line));
        EXPECT_EQ(run.Status, 0) << line << "\n" << run.Out << run.Err;
        EXPECT_EQ(run.Out.find("Open: false"), std::string::npos) << line << "\n" << run.Out;
    }
    // The guide's day reached the register: both lines served it, a receipt was
    // made and the shift closed.
    EXPECT_TRUE(CameOver("tcp", "00"));
    EXPECT_TRUE(CameOver("pty", "00"));
    EXPECT_EQ(Documents("receipt").size(), 1u);
    EXPECT_EQ(Documents("shift_close").size(), 1u);

    // The emulator lines, as written, in a folder of their own after this one stops.
    ASSERT_FALSE(emulatorLines.empty());
    StopEmulator();
    for (const std::string& line : emulatorLines) {
        const std::filesystem::path here = dir_ / "developer";
        std::filesystem::create_directories(here);
        const std::string command = "cd '" + here.string() +
                                    "' && printf '%s\\n' '{\"cmd\":\"status\"}' "
                                    "'{\"cmd\":\"stop\"}' | '" +
                                    FREMU_EXECUTABLE + "' " + line.substr(line.find(' ') + 1) +
                                    " > '" + (dir_ / "out").string() + "' 2>&1";
        const int status = std::system(command.c_str());
        const std::string out = ReadFile(dir_ / "out");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << line << "\n" << out;
        std::istringstream lines(out);
        std::string first, second;
        std::getline(lines, first);
        std::getline(lines, second);
        const json start = json::parse(first, nullptr, false);
        ASSERT_FALSE(start.is_discarded()) << out;
        EXPECT_EQ(start["event"], "listening") << out;
        EXPECT_EQ(start["tcp"]["port"], 5555) << out;
        EXPECT_EQ(json::parse(second, nullptr, false)["ok"], true) << out;
        EXPECT_TRUE(std::filesystem::exists(here / "register.json")) << line;
    }
}

}  // namespace
}  // namespace fr::test
