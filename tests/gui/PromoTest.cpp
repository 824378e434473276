// The promotional picture: a document names a picture between "二维码" and "码维二"; it is
// fetched from a loopback HTTPS server off the GUI thread and shown with the label.
#include <httplib.h>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <thread>

#include "GuiFixture.h"
#include "GuiTests.h"
#include "gui/PromoPicture.h"
#include "support/TestCert.h"

namespace qingtong::guitest {

class PromoTest : public QObject {
    Q_OBJECT
    std::unique_ptr<httplib::SSLServer> server;
    std::thread serverThread;
    int port = 0;
    std::atomic<int> pictureRequests{0};
    std::atomic<int> pageRequests{0};
    std::unique_ptr<WindowRig> rig;

    static std::string jpeg()
    {
        QImage image(120, 80, QImage::Format_RGB32);
        image.fill(QColor(0x1f, 0x9e, 0x8f));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG");
        return bytes.toStdString();
    }

    QLabel* picture() const { return rig->window->findChild<QLabel*>(u8("图片框1")); }
    QLabel* label() const { return rig->window->findChild<QLabel*>(u8("透明标签1")); }

    // Starts the window with the document at `path` and waits for the step to end.
    bool runPromo(const std::string& path, bool expectShown)
    {
        ServiceConfig config;
        config.promoDocument = "https://127.0.0.1:" + std::to_string(port) + path;
        config.pictureHost = "127.0.0.1:" + std::to_string(port);
        setServiceConfig(config);
        QSignalSpy finished(rig->window.get(), &MainWindow::promoFinished);
        rig->window->show();
        rig->window->start();
        if (!finished.wait(15000))
            return false;
        return finished.first().first().toBool() == expectShown;
    }

private slots:
    void initTestCase()
    {
        const auto& cert = test::testCert();
        server = std::make_unique<httplib::SSLServer>(cert.certPath.c_str(), cert.keyPath.c_str());
        const std::string picture = jpeg();
        auto document = [](const char* body) {
            return [body](const httplib::Request&, httplib::Response& res) {
                res.set_content(body, "text/plain; charset=utf-8");
            };
        };
        server->Get("/doc/named", document("<p>扫码加群 二维码qr-01码维二 谢谢</p>"));
        server->Get("/doc/reversed", document("码维二qr-01二维码 only"));
        server->Get("/doc/touching", document("二维码码维二"));
        server->Get("/doc/no-picture", document("二维码missing码维二"));
        server->Get("/item/qr-01.jpg", [this, picture](const httplib::Request&, httplib::Response& res) {
            ++pictureRequests;
            res.set_content(picture, "image/jpeg");
        });
        // One request per connection, so that stopping the server never waits on an idle one.
        server->set_keep_alive_max_count(1);
        server->Get("/page", [this](const httplib::Request&, httplib::Response& res) {
            ++pageRequests;
            res.set_content("<html></html>", "text/html");
        });
        port = server->bind_to_any_port("127.0.0.1");
        QVERIFY(port > 0);
        serverThread = std::thread([this] { server->listen_after_bind(); });
    }
    void cleanupTestCase()
    {
        server->stop();
        serverThread.join();
        setServiceConfig(ServiceConfig{});
    }
    void init()
    {
        pictureRequests = 0;
        pageRequests = 0;
        rig = std::make_unique<WindowRig>();
    }
    void cleanup() { rig.reset(); }

    void shownFromDocument()
    {
        QVERIFY(runPromo("/doc/named", true));
        QVERIFY(label()->isVisible());
        QVERIFY(picture()->isVisible());
        QCOMPARE(label()->text(), u8("   纯带货交流群（禁止广告）\n\n   禁止割韭菜（纯交流）\n\n要的是抖音圈子！我们不做韭菜"));
        QCOMPARE(pictureRequests.load(), 1);
        const QPixmap shown = picture()->pixmap();
        QVERIFY(!shown.isNull());
        QVERIFY(shown.width() <= 240 && shown.height() <= 240);
    }

    void hiddenWithoutName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("marks reversed") << u8("/doc/reversed");
        QTest::newRow("nothing between") << u8("/doc/touching");
        QTest::newRow("no document") << u8("/doc/absent");
    }
    void hiddenWithoutName()
    {
        QFETCH(QString, path);
        QVERIFY(runPromo(path.toStdString(), false));
        QVERIFY(!label()->isVisible());
        QVERIFY(!picture()->isVisible());
        QCOMPARE(pictureRequests.load(), 0);
    }

    // A name whose picture can not be had: the label shows, the picture box stays empty.
    void missingPicture()
    {
        QVERIFY(runPromo("/doc/no-picture", true));
        QVERIFY(label()->isVisible());
        QVERIFY(picture()->pixmap().isNull());
    }

    // The hidden browser box fetches its page only when one is configured.
    void browserPage()
    {
        ServiceConfig config;
        setServiceConfig(config);
        rig->window->start();
        rig->window->waitForBackgroundWork();
        QCOMPARE(pageRequests.load(), 0);

        rig = std::make_unique<WindowRig>();
        config.browserPage = "https://127.0.0.1:" + std::to_string(port) + "/page";
        setServiceConfig(config);
        rig->window->start();
        rig->window->waitForBackgroundWork();
        QCOMPARE(pageRequests.load(), 1);
    }

    void leftOutWithoutConfiguration()
    {
        setServiceConfig(ServiceConfig{});
        QSignalSpy finished(rig->window.get(), &MainWindow::promoFinished);
        rig->window->start();
        QCOMPARE(finished.size(), 1);
        QVERIFY(!label()->isVisible());
    }

    // A remote name can not leave the picture folder, add a query or name another host.
    void pictureUrl_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("url");
        QTest::newRow("plain") << u8("qr-01") << u8("https://h:1/item/qr-01.jpg");
        QTest::newRow("climbing") << u8("../../etc/x") << u8("https://h:1/item/..%2F..%2Fetc%2Fx.jpg");
        QTest::newRow("query and host") << u8("a?b=@evil#c") << u8("https://h:1/item/a%3Fb%3D%40evil%23c.jpg");
        QTest::newRow("line break") << u8("a\r\nHost: x") << u8("https://h:1/item/a%0D%0AHost%3A%20x.jpg");
        QTest::newRow("chinese") << u8("码") << u8("https://h:1/item/%E7%A0%81.jpg");
    }
    void pictureUrl()
    {
        QFETCH(QString, name);
        QFETCH(QString, url);
        QCOMPARE(QString::fromStdString(promoPictureUrl("h:1", utf8ToAnsi(name.toStdString()))), url);
    }
};

} // namespace qingtong::guitest

using qingtong::guitest::PromoTest;
QINGTONG_GUI_TEST(PromoTest)

#include "PromoTest.moc"
