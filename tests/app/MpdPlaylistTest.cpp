// Playlists with entries relative to the music root, loaded by a real music
// daemon: started here on a free 127.0.0.1 port with a scratch configuration,
// it indexes a small library, and the refreshed playlist in its playlist
// folder must load every song it indexed.
#include "app/HeadlessRefresh.h"

#include "settings/SearchFile.h"
#include "support/TempDir.h"

#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

// A second of silence as 16-bit mono PCM: a file every build of the daemon decodes.
std::string SilentWav() {
    const std::uint32_t rate = 8000;
    const std::uint32_t dataSize = rate * 2;
    std::string bytes;
    const auto put32 = [&bytes](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const auto put16 = [&bytes](std::uint16_t v) {
        bytes += static_cast<char>(v & 0xFF);
        bytes += static_cast<char>(v >> 8);
    };
    bytes += "RIFF";
    put32(36 + dataSize);
    bytes += "WAVEfmt ";
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    bytes += "data";
    put32(dataSize);
    bytes += std::string(dataSize, '\0');
    return bytes;
}

// A port nobody listens on now.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    close(fd);
    return ntohs(address.sin_port);
}

// The daemon for one test, stopped when the test ends whatever happens.
class TMusicDaemon {
public:
    TMusicDaemon(const TempDir& Dir, const std::string& Music, const std::string& Playlists)
        : dir_(Dir), port_(FreePort()) {
        const QString program = QStandardPaths::findExecutable("mpd");
        const QString client = QStandardPaths::findExecutable("mpc");
        if (program.isEmpty() || client.isEmpty()) {
            why_ = "mpd or mpc is not installed (scripts/install-deps installs both)";
            return;
        }
        if (port_ < 0) {
            why_ = "no free port on 127.0.0.1";
            return;
        }
        const std::string base = Dir.str();
        const std::string config = Dir.write(
            "mpd.conf", "music_directory \"" + Music + "\"\nplaylist_directory \"" + Playlists +
                            "\"\ndb_file \"" + base + "/mpd.db\"\nlog_file \"" + base +
                            "/mpd.log\"\nstate_file \"" + base + "/mpd.state\"\n" +
                            "bind_to_address \"127.0.0.1\"\nport \"" + std::to_string(port_) +
                            "\"\nauto_update \"no\"\nzeroconf_enabled \"no\"\n"
                            "audio_output {\n type \"null\"\n name \"silence\"\n}\n");
        daemon_.setProcessChannelMode(QProcess::MergedChannels);
        daemon_.start(program, {"--no-daemon", QString::fromStdString(config)});
        if (!daemon_.waitForStarted(10000)) {
            why_ = "mpd did not start: " + daemon_.errorString().toStdString();
            return;
        }
        // Ready once it answers a client.
        for (int tries = 0; tries < 100; ++tries) {
            if (daemon_.state() != QProcess::Running)
                break;
            std::string out;
            if (Client({"status"}, out)) {
                running_ = true;
                return;
            }
            QThread::msleep(100);
        }
        why_ = "mpd did not answer on 127.0.0.1:" + std::to_string(port_) + ": " +
               daemon_.readAll().toStdString() + TempDir::read(base + "/mpd.log");
    }
    ~TMusicDaemon() {
        if (daemon_.state() == QProcess::NotRunning)
            return;
        daemon_.terminate();
        if (!daemon_.waitForFinished(10000)) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }
    TMusicDaemon(const TMusicDaemon&) = delete;
    TMusicDaemon& operator=(const TMusicDaemon&) = delete;

    bool Running() const { return running_; }
    const std::string& WhyNot() const { return why_; }

    // Runs mpc against this daemon; its standard output in Out.
    bool Client(const QStringList& Arguments, std::string& Out) const {
        QProcess mpc;
        mpc.start("mpc", QStringList{"-h", "127.0.0.1", "-p", QString::number(port_)} + Arguments);
        if (!mpc.waitForFinished(60000))
            return false;
        Out = mpc.readAllStandardOutput().toStdString();
        return mpc.exitStatus() == QProcess::NormalExit && mpc.exitCode() == 0;
    }
    std::vector<std::string> Lines(const QStringList& Arguments) const {
        std::string out;
        EXPECT_TRUE(Client(Arguments, out)) << Arguments.join(' ').toStdString();
        std::vector<std::string> lines;
        for (std::size_t start = 0; start < out.size();) {
            const std::size_t end = out.find('\n', start);
            lines.push_back(out.substr(start, end - start));
            start = end == std::string::npos ? out.size() : end + 1;
        }
        return lines;
    }

private:
    const TempDir& dir_;
    int port_;
    QProcess daemon_;
    bool running_ = false;
    std::string why_;
};

} // namespace

TEST(MusicDaemon, ARootPlaylistInItsPlaylistFolderLoadsEverySongItIndexed) {
    TempDir dir;
    const std::string music = dir.str() + "/music";
    const std::string playlists = dir.str() + "/playlists";
    std::filesystem::create_directories(playlists);
    const std::string wav = SilentWav();
    // Names a playlist line must carry as they are: blanks, marks, UTF-8,
    // "#" inside a path, folders two deep.
    for (const char* name :
         {"top.wav", "Brass Band/Endless Love.wav", "Brass Band/Live/01 - Intro.wav",
          "Caf\xc3\xa9 del Mar/Ol\xc3\xa9!.wav", "Rock & Roll/It's #1 (100%).wav",
          "Rock & Roll/[Disc 2]/a;b=c.wav", "Quiet/two  blanks inside .wav"})
        dir.write("music/" + std::string(name), wav);

    const TMusicDaemon daemon(dir, music, playlists);
    if (!daemon.Running())
        GTEST_SKIP() << "the music daemon could not be started: " << daemon.WhyNot();
    std::string out;
    ASSERT_TRUE(daemon.Client({"update", "--wait"}, out));
    std::vector<std::string> indexed = daemon.Lines({"listall"});
    ASSERT_EQ(indexed.size(), 7u) << "the daemon did not index the library";

    WizardSettings search;
    search.Folders = {{music, CheckState::Checked}};
    search.Filenames = {{"*.wav", CheckState::Checked}};
    search.IncludeTaglessFiles = true;
    search.PlaylistPath = "playlists/mix.m3u";
    search.PlaylistPathsName = "root";
    search.PlaylistRoot = music + "/";
    const std::string file = dir.str() + "/mix.morvane";
    SaveSearchFile(file, search);
    std::string said;
    ASSERT_EQ(RunRefresh({file}, false, [&said](std::string_view Line) { said += Line; }), 0)
        << said;
    const std::string bytes = TempDir::read(playlists + "/mix.m3u");
    EXPECT_EQ(bytes.find(music), std::string::npos) << bytes;
    EXPECT_EQ(bytes.find("./"), std::string::npos) << bytes;

    ASSERT_TRUE(daemon.Client({"load", "mix"}, out));
    std::vector<std::string> loaded = daemon.Lines({"playlist", "-f", "%file%"});
    std::sort(indexed.begin(), indexed.end());
    std::sort(loaded.begin(), loaded.end());
    EXPECT_EQ(loaded, indexed) << bytes;
}
