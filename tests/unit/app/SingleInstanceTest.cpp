// SPDX-License-Identifier: GPL-3.0-or-later
// The socket the command line talks to, with real Unix sockets: only the
// user's own processes are answered, and no request, however malformed,
// stops it from answering the next.
#include "app/SingleInstance.h"

#include "support/WaitFor.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace scrivlet {
namespace {

using testing::waitFor;

// Runs `work` on another thread while this one serves, as two processes would.
template<typename T>
T whileServing(std::function<T()> work)
{
    std::future<T> result = std::async(std::launch::async, std::move(work));
    waitFor([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        20000);
    return result.get();
}

// Sends raw bytes and reads whatever comes back until the server closes.
QByteArray exchange(const QByteArray &bytes)
{
    const QByteArray path = QFile::encodeName(SingleInstance::socketPath());
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return "no connection";
    }
    (void)::send(fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL);
    QByteArray answer;
    char buffer[4096];
    timeval timeout {15, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, n);
    ::close(fd);
    return answer;
}

class SingleInstanceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        instance.emplace();
        ASSERT_TRUE(instance->claim());
        instance->setHandler(
            [this](const CommandRequest &request, const SingleInstance::Reply &reply) {
                ++handled;
                reply({true, CommandRequest::name(request.command).toUtf8() + '\n', {}});
            });
    }
    void TearDown() override
    {
        instance.reset();
        qunsetenv("XDG_RUNTIME_DIR");
    }

    static std::optional<CommandResponse> send(const char *command)
    {
        CommandRequest request;
        request.command = CommandRequest::fromArguments({QLatin1String(command)}).value().command;
        return whileServing<std::optional<CommandResponse>>(
            [request] { return SingleInstance::send(request, nullptr, 15000); });
    }

    QTemporaryDir runtime;
    std::optional<SingleInstance> instance;
    int handled = 0;
};

TEST_F(SingleInstanceTest, OnlyTheUsersOwnProcessesAreAnsweredAndNobodyListeningIsNotRunning)
{
    struct stat info
    { };
    ASSERT_EQ(::stat(QFile::encodeName(SingleInstance::socketPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "the socket is the user's alone";

    const auto answer = send("toggle");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->output, "toggle\n");

    instance->setAllowedUser(::geteuid() + 1);
    const auto refused = send("toggle");
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->ok);
    EXPECT_EQ(refused->error, "refused: another user's process");
    EXPECT_EQ(handled, 1);

    EXPECT_FALSE(SingleInstance().claim()) << "a second Scrivlet cannot take the socket over";

    instance.reset();
    SingleInstance::SendFailure failure;
    EXPECT_FALSE(SingleInstance::send(CommandRequest(), &failure));
    EXPECT_TRUE(failure.notRunning);
    EXPECT_EQ(failure.why, "Scrivlet is not running");
}

TEST_F(SingleInstanceTest, NoRequestStopsTheNextOneFromBeingAnswered)
{
    std::vector<QByteArray> hostile {"not json\n",
        "{\"command\":\"copy\",\"target\":\"1\",\"evil\":1}\n",
        QByteArray(CommandRequest::kMaxLine + 10, 'x'), QByteArray(5, '\0') + '\n'};
    // Random bytes, as a fuzzer would send.
    QRandomGenerator random(7);
    for (int i = 0; i < 40; ++i) {
        QByteArray bytes(int(random.bounded(1, 300)), Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random.bounded(256));
        hostile.push_back(bytes + (i % 2 ? "\n" : ""));
    }
    for (const QByteArray &bytes : hostile) {
        // An unfinished line is dropped when the client leaves.
        const QByteArray answer = whileServing<QByteArray>([bytes] {
            return exchange(bytes.endsWith('\n') || bytes.size() > CommandRequest::kMaxLine
                    ? bytes
                    : bytes + '\n');
        });
        const Result<CommandResponse> response = CommandResponse::fromJson(answer.trimmed());
        ASSERT_TRUE(response) << answer.left(80).toStdString();
        EXPECT_FALSE(response.value().ok);
    }
    EXPECT_EQ(handled, 0);
    const auto answer = send("list");
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->ok);
}

// A server that answers at once and closes, before the request is written
// (as a refusal does): the client still reads the answer.
TEST_F(SingleInstanceTest, AnAnswerBeforeTheRequestIsWrittenIsStillRead)
{
    instance.reset();
    const QByteArray path = QFile::encodeName(SingleInstance::socketPath());
    ::unlink(path.constData());
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(server, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(server, 1), 0);
    std::thread refuser([server] {
        const int peer = ::accept(server, nullptr, nullptr);
        const QByteArray line
            = CommandResponse {false, {}, QStringLiteral("refused: another user's process")}
                  .toJson()
            + '\n';
        (void)::send(peer, line.constData(), std::size_t(line.size()), MSG_NOSIGNAL);
        ::close(peer);
    });
    // Larger than the socket's buffer: the client is still writing when the
    // server closes.
    CommandRequest request;
    request.command = CommandRequest::Command::search;
    request.query = QString(4 * 1024 * 1024, QLatin1Char('x'));
    SingleInstance::SendFailure failure;
    const auto answer = SingleInstance::send(request, &failure, 15000);
    refuser.join();
    ::close(server);
    ASSERT_TRUE(answer) << failure.why.toStdString();
    EXPECT_EQ(answer->error, "refused: another user's process");
}

} // namespace
} // namespace scrivlet
