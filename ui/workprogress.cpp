#include "workprogress.h"

#include "catalogue.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QLocale>
#include <QProgressDialog>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

// Drops the user's input to one window while work runs behind it. Once the modal progress
// dialog shows, the toolkit blocks the window by itself; before that, this does.
class InputBlock : public QObject
{
public:
    explicit InputBlock(QWidget *window) : window(window) { qApp->installEventFilter(this); }
    ~InputBlock() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || widget->window() != window)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
            return true; // left accepted: the platform would hand an ignored key over again
        case QEvent::Close: // an accepted close event would still close the window
            event->ignore();
            return true;
        default:
            return false;
        }
    }

private:
    QWidget *window;
};

// An Escape that reaches the dialog itself instead of its Cancel shortcut (when its window is
// not the active one) rejects it, which would only hide it; here it cancels, as Cancel does.
class CancelOnEscape : public QProgressDialog
{
public:
    using QProgressDialog::QProgressDialog;

protected:
    void reject() override { emit canceled(); }
};

QString labelText(const BuildProgress &now)
{
    const QLocale locale;
    const QString step = now.entry.isEmpty()
                             ? QCoreApplication::translate("Dialog", "Waiting for the system tools")
                             : QCoreApplication::translate("Dialog", "Packing %1").arg(now.entry);
    const QString bytes = QCoreApplication::translate("Dialog", "%1 of %2")
                              .arg(locale.formattedDataSize(qint64(now.done)), locale.formattedDataSize(qint64(now.total)));
    return step + QLatin1Char('\n') + bytes;
}

// Room from the start for the widest label a build usually shows (the wait for the tools, the
// backup of the longest log name, hundreds of GiB), so that the dialog keeps its width from one
// step to the next.
void reserveWidth(QProgressDialog &dialog)
{
    QString longest;
    for (const ComponentEntry &entry : catalogueEntries()) {
        for (const QString &name : entry.logNames)
            longest = name.size() > longest.size() ? name : longest;
    }
    const quint64 large = 999ull << 30;
    for (const BuildProgress &sample : {BuildProgress{QString(), large, large},
                                        BuildProgress{QStringLiteral("backup/%1.log").arg(longest), large, large}}) {
        dialog.setLabelText(labelText(sample));
        dialog.setMinimumWidth(qMax(dialog.minimumWidth(), dialog.sizeHint().width()));
    }
    dialog.setLabelText(QString());
}

void show(QProgressDialog &dialog, const BuildProgress &now, const std::atomic<bool> &cancel)
{
    // A late report must not bring a cancelled dialog back.
    if (cancel)
        return;
    dialog.setLabelText(labelText(now));
    // A longer name than reserved widens the dialog once; it never shrinks back between steps.
    dialog.setMinimumWidth(qMax(dialog.minimumWidth(), dialog.sizeHint().width()));
    // While only the system tools run, nothing can be counted: a busy bar, not a full one.
    if (now.entry.isEmpty()) {
        dialog.setRange(0, 0);
    } else {
        dialog.setRange(0, progressSteps);
        dialog.setValue(progressValue(now, progressSteps));
    }
}

} // namespace

int progressValue(const BuildProgress &now, int steps)
{
    return now.total ? int(std::min(now.done, now.total) * quint64(steps) / now.total) : 0;
}

BuildOutcome runWithProgress(QWidget *window, const ProgressWork &work)
{
    CancelOnEscape dialog(window);
    dialog.setWindowTitle(QCoreApplication::translate("Dialog", "Support File"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setRange(0, progressSteps);
    dialog.setMinimumDuration(500);
    reserveWidth(dialog);
    dialog.setValue(0);
    std::atomic<bool> cancel{false};
    QObject::connect(&dialog, &QProgressDialog::canceled, [&cancel] { cancel = true; });
    const BuildProgressCallback progress = [&dialog, &cancel](const BuildProgress &now) {
        // Queued to the user-interface thread; dropped when the dialog is gone.
        QMetaObject::invokeMethod(&dialog, [&dialog, &cancel, now] { show(dialog, now, cancel); }, Qt::QueuedConnection);
    };

    const InputBlock block(window);
    window->setCursor(Qt::WaitCursor);
    BuildOutcome result = BuildOutcome::Cancelled;
    QEventLoop loop;
    const std::unique_ptr<QThread> worker(QThread::create([&] { result = work(progress, cancel); }));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    window->setCursor(Qt::ArrowCursor);
    return result;
}
