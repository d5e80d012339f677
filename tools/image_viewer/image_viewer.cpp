#include "image_viewer.h"

#include <cstdio>

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QStatusBar>
#include <QTimer>

#include <yarp/os/Network.h>

ImageView::ImageView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(80, 60);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageView::setImage(const QImage& image)
{
    image_ = image;
    update();
}

void ImageView::paintEvent(QPaintEvent*)
{
    // Counted as displayed only when painted: a frame replaced before the window got to
    // paint it counts as received, not displayed.
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (image_.isNull()) {
        painter.setPen(Qt::gray);
        painter.drawText(rect(), Qt::AlignCenter, "no image yet");
        return;
    }
    QSize scaled = image_.size().scaled(size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), scaled);
    target.moveCenter(rect().center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image_);
    ++painted_;
    emit framePainted();
}

ViewerWindow::ViewerWindow(std::string source, std::string local, std::uint64_t exitAfter)
    : source_(std::move(source)), local_(std::move(local)), exitAfter_(exitAfter)
{
    setWindowTitle(QString::fromStdString("image_viewer " + source_));
    view_ = new ImageView(this);
    setCentralWidget(view_);
    connect(view_, &ImageView::framePainted, this, &ViewerWindow::framePainted);
    status_ = new QLabel(this);
    statusBar()->addWidget(status_, 1);
    resize(480, 400);
    secondTimer_ = new QTimer(this);
    connect(secondTimer_, &QTimer::timeout, this, &ViewerWindow::everySecond);
}

ViewerWindow::~ViewerWindow()
{
    port_.interrupt();
    if (receiver_.joinable()) {
        receiver_.join();
    }
    port_.close();
}

bool ViewerWindow::start()
{
    if (!port_.open(local_)) {
        std::fprintf(stderr, "image_viewer: cannot open the port %s\n", local_.c_str());
        return false;
    }
    connectSource();
    clock_.start();
    sinceStart_.start();
    secondTimer_->start(1000);
    receiver_ = std::thread([this] { receive(); });
    status_->setText(statusText());
    return true;
}

void ViewerWindow::connectSource()
{
    // Also called every second: a stream that is not there yet, or that went away and came
    // back, is picked up without a restart.
    if (port_.getInputCount() == 0) {
        yarp::os::NetworkBase::connect(source_, local_);
    }
}

void ViewerWindow::receive()
{
    while (yarp::sig::ImageOf<yarp::sig::PixelRgb>* image = port_.read(true)) {
        // Deep copy: the port reuses its buffer for the next frame.
        QImage frame(image->getRawImage(), static_cast<int>(image->width()), static_cast<int>(image->height()),
                     static_cast<int>(image->getRowSize()), QImage::Format_RGB888);
        QImage copy = frame.copy();
        {
            std::lock_guard<std::mutex> lock(pendingMutex_);
            pending_ = std::move(copy);
        }
        received_.fetch_add(1);
        if (!showQueued_.exchange(true)) {
            QMetaObject::invokeMethod(this, "showPending", Qt::QueuedConnection);
        }
    }
}

void ViewerWindow::showPending()
{
    QImage frame;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        frame = std::move(pending_);
        pending_ = QImage();
    }
    showQueued_ = false;
    if (frame.isNull()) {
        return;
    }
    frameSize_ = frame.size();
    view_->setImage(frame);
}

void ViewerWindow::framePainted()
{
    if (exitAfter_ > 0 && view_->painted() == exitAfter_) {
        const double seconds = sinceStart_.elapsed() / 1000.0;
        std::printf("%llu frames received, %llu displayed in %.1f s (%.1f and %.1f frames/s), %dx%d\n",
                    static_cast<unsigned long long>(received_.load()), static_cast<unsigned long long>(view_->painted()),
                    seconds, received_.load() / seconds, view_->painted() / seconds, frameSize_.width(),
                    frameSize_.height());
        std::fflush(stdout);
        QApplication::quit();
    }
}

void ViewerWindow::everySecond()
{
    connectSource();
    const double elapsed = clock_.restart() / 1000.0;
    const std::uint64_t received = received_.load();
    const std::uint64_t painted = view_->painted();
    if (elapsed > 0) {
        receivedRate_ = (received - lastReceived_) / elapsed;
        paintedRate_ = (painted - lastPainted_) / elapsed;
    }
    lastReceived_ = received;
    lastPainted_ = painted;
    status_->setText(statusText());
}

QString ViewerWindow::statusText() const
{
    if (frameSize_.isEmpty()) {
        return QString("waiting for %1").arg(QString::fromStdString(source_));
    }
    return QString("%1x%2  received %3 frames/s  displayed %4 frames/s")
        .arg(frameSize_.width())
        .arg(frameSize_.height())
        .arg(receivedRate_, 0, 'f', 1)
        .arg(paintedRate_, 0, 'f', 1);
}
