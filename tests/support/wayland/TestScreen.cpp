// The tests' hold on the screen of a desktop whose background they cannot
// set (GNOME, KDE Plasma): a full-screen window that shows what a command on
// standard input asks for. One command a line, each answered with one line:
//   show PNG-FILE | show #rrggbb   paints it full-screen: "shown"
// With --mutter it also records mutter's own cast of the monitor
// (org.gnome.Mutter.ScreenCast, which asks for no consent), the pointer
// beside the frames, in a remote desktop session that can move the pointer:
//   shot PNG-FILE                  a frame drawn after the command: "shot"
//   pointer X Y                    moves the pointer there: "moved" once mutter
//                                  has sent the new place to its casts
// Anything that fails answers "error: ..." and ends the program.

#include <sys/socket.h>
#include <sys/un.h>

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "platform/wayland/FrameStore.h"
#include "platform/wayland/PipeWireStream.h"

namespace {

const QString kMutter = QStringLiteral("org.gnome.Mutter.");

void Answer(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

[[noreturn]] void Fail(const std::string& failure) {
  Answer("error: " + failure);
  std::exit(1);
}

class ScreenWindow : public QRasterWindow {
 public:
  void Show(const QString& what) {
    picture_ = what.startsWith(QLatin1Char('#')) ? QImage() : QImage(what);
    colour_ = QColor(what);
    Repaint([] { Answer("shown"); });
  }
  // Paints the window again, which makes the compositor draw a new frame,
  // and then calls painted.
  void Repaint(std::function<void()> painted) {
    painted_ = std::move(painted);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (picture_.isNull()) {
      painter.fillRect(QRect(QPoint(), size()), colour_);
    } else {
      painter.drawImage(QPoint(), picture_);
    }
    if (painted_) {
      QTimer::singleShot(0, this, std::exchange(painted_, nullptr));
    }
  }

 private:
  QImage picture_;
  QColor colour_ = QColor(0x20, 0x40, 0x60);
  std::function<void()> painted_;
};

class MutterScreen : public QObject {
  Q_OBJECT

 public:
  MutterScreen() {
    const QDBusReply<QDBusObjectPath> desktop =
        Interface("/org/gnome/Mutter/RemoteDesktop", "RemoteDesktop").call(QStringLiteral("CreateSession"));
    Check(desktop, "RemoteDesktop.CreateSession");
    desktop_session_ = desktop.value().path();
    const QString id = Interface(desktop_session_, "RemoteDesktop.Session").property("SessionId").toString();
    const QDBusReply<QDBusObjectPath> cast =
        Interface("/org/gnome/Mutter/ScreenCast", "ScreenCast")
            .call(QStringLiteral("CreateSession"), QVariantMap{{QStringLiteral("remote-desktop-session-id"), id}});
    Check(cast, "ScreenCast.CreateSession");
    const QDBusReply<QDBusObjectPath> stream =
        Interface(cast.value().path(), "ScreenCast.Session")
            .call(QStringLiteral("RecordMonitor"), QStringLiteral("Meta-0"),
                  QVariantMap{{QStringLiteral("cursor-mode"), QVariant::fromValue(2u)}});
    Check(stream, "RecordMonitor");
    stream_ = stream.value().path();
    QDBusConnection::sessionBus().connect(kMutter + "ScreenCast", stream_, kMutter + "ScreenCast.Stream",
                                          QStringLiteral("PipeWireStreamAdded"), this, SLOT(OnStreamAdded(uint)));
    Check(QDBusReply<void>(Interface(desktop_session_, "RemoteDesktop.Session").call(QStringLiteral("Start"))),
          "RemoteDesktop.Session.Start");
  }

  // The next frame waits for one that mutter shows from now on.
  void ExpectFrame() { frames_.ExpectChange(); }
  void Shot(const std::string& file) {
    lumivanta::ScreenImage screen;
    if (!frames_.Take(screen, std::chrono::seconds(5))) {
      Fail("no frame from mutter");
    }
    const QImage image(screen.pixels.data(), static_cast<int>(screen.width), static_cast<int>(screen.height),
                       static_cast<int>(screen.bytes_per_row), QImage::Format_RGB32);
    if (!image.save(QString::fromStdString(file), "PNG", 100)) {
      Fail("cannot write " + file);
    }
    Answer("shot");
  }

  void MovePointer(double x, double y) {
    Check(QDBusReply<void>(Interface(desktop_session_, "RemoteDesktop.Session")
                               .call(QStringLiteral("NotifyPointerMotionAbsolute"), stream_, x, y)),
          "NotifyPointerMotionAbsolute");
    for (int tries = 0; pointer_ != Place(static_cast<int>(x), static_cast<int>(y)); ++tries) {
      if (tries == 250) {
        Fail("mutter did not move the pointer");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Answer("moved");
  }

 private slots:
  // The cast's node is on the session's own PipeWire daemon, reached through its socket.
  void OnStreamAdded(uint node) {
    lumivanta::UniqueFd remote(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s/pipewire-0", std::getenv("XDG_RUNTIME_DIR"));
    if (::connect(remote.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
      Fail("cannot reach PipeWire");
    }
    stream_pipe_ = std::make_unique<lumivanta::PipeWireStream>(
        frames_, [](const std::string&) {}, [](const std::string& cause) { Fail(cause); },
        [this](const lumivanta::PointerState& pointer) { pointer_ = Place(pointer.x, pointer.y); });
    std::string failure;
    if (!stream_pipe_->Start(std::move(remote), node, failure)) {
      Fail(failure);
    }
  }

 private:
  static QDBusInterface Interface(const QString& path, const char* name) {
    const QString interface = kMutter + QLatin1String(name);
    const QString service = interface.section(QLatin1Char('.'), 0, 3);
    return QDBusInterface(service, path, interface, QDBusConnection::sessionBus());
  }
  template <typename Reply>
  static void Check(const Reply& reply, const char* what) {
    if (!reply.isValid()) {
      Fail(std::string(what) + ": " + reply.error().message().toStdString());
    }
  }

  QString desktop_session_;
  QString stream_;
  lumivanta::FrameStore frames_;
  std::unique_ptr<lumivanta::PipeWireStream> stream_pipe_;
  // The pointer's place in mutter's cast, as Place gives it.
  static long long Place(int x, int y) { return x * 100000LL + y; }
  std::atomic<long long> pointer_{-1};
};

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  ScreenWindow window;
  window.setTitle(QStringLiteral("test screen"));
  window.showFullScreen();
  std::unique_ptr<MutterScreen> mutter;
  if (argc > 1 && std::string(argv[1]) == "--mutter") {
    mutter = std::make_unique<MutterScreen>();
  }
  // Commands are read on a thread of their own and carried out on the main one.
  std::thread([&] {
    for (std::string line; std::getline(std::cin, line);) {
      QMetaObject::invokeMethod(&window, [&, line] {
        const QString command = QString::fromStdString(line);
        const QStringList words = command.split(QLatin1Char(' '));
        if (words.value(0) == QLatin1String("show")) {
          window.Show(command.section(QLatin1Char(' '), 1));
        } else if (mutter && words.value(0) == QLatin1String("shot")) {
          // A frame drawn after the command, of everything on the screen by then.
          mutter->ExpectFrame();
          window.Repaint([&, file = command.section(QLatin1Char(' '), 1).toStdString()] { mutter->Shot(file); });
        } else if (mutter && words.value(0) == QLatin1String("pointer")) {
          mutter->MovePointer(words.value(1).toDouble(), words.value(2).toDouble());
        } else {
          Fail("unknown command: " + line);
        }
      });
    }
    QMetaObject::invokeMethod(&application, &QGuiApplication::quit);
  }).detach();
  return QGuiApplication::exec();
}

#include "TestScreen.moc"
