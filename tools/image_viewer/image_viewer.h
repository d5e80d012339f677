#pragma once
// The image viewer's window: the newest frame of an RGB image stream, scaled to the window,
// with the received and displayed frame rates in the status bar.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QWidget>

#include <yarp/os/BufferedPort.h>
#include <yarp/sig/Image.h>

class QLabel;
class QTimer;

/// Paints one image scaled to the widget, keeping its aspect ratio, on a black ground.
class ImageView : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    /// Frames painted so far.
    std::uint64_t painted() const { return painted_; }
    QSize sizeHint() const override { return {320, 240}; }

signals:
    void framePainted();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    std::uint64_t painted_ = 0;
};

/// Receives the stream on a thread of its own and hands the newest frame to the window.
/// Frames that arrive while the window has not yet shown the previous one replace it: the
/// window never falls behind the stream and nothing queues up.
class ViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    /// `source` is the stream's port, `local` the viewer's own port name. With
    /// `exitAfter` > 0 the viewer quits once it has shown that many frames.
    ViewerWindow(std::string source, std::string local, std::uint64_t exitAfter);
    ~ViewerWindow() override;

    /// Opens the local port and starts receiving; false (with one line on stderr) when the
    /// port cannot be opened.
    bool start();

    /// The status bar text, e.g. "320x240  received 30.0 frames/s  displayed 29.8 frames/s".
    QString statusText() const;

private slots:
    void showPending();
    void everySecond();
    void framePainted();

private:
    void receive();
    void connectSource();

    std::string source_;
    std::string local_;
    std::uint64_t exitAfter_;
    yarp::os::BufferedPort<yarp::sig::ImageOf<yarp::sig::PixelRgb>> port_;
    std::thread receiver_;

    std::mutex pendingMutex_;
    QImage pending_;                       // newest frame not yet shown
    std::atomic<bool> showQueued_{false};  // a showPending() call is on its way
    std::atomic<std::uint64_t> received_{0};

    ImageView* view_;
    QLabel* status_;
    QTimer* secondTimer_;
    QElapsedTimer clock_;       // since the last status update
    QElapsedTimer sinceStart_;
    std::uint64_t lastReceived_ = 0;
    std::uint64_t lastPainted_ = 0;
    double receivedRate_ = 0.0;
    double paintedRate_ = 0.0;
    QSize frameSize_;
};
