#pragma once

// Answers the modal windows a test makes the product open, so that no test ever blocks on one:
// the panel's message boxes, the other dialogs, and the open / save file dialogs (through the
// product's file-dialog seam, so no real QFileDialog is shown unless a test lets one run).

#include "FileDialog.h"
#include "PanelMessageBox.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace zr40_test {

// What a message box showed.
struct SeenBox
{
    QString text;
    QStringList captions; // of the visible buttons, left to right
    bool pollingWhileOpen = false;
};

// Each showing of a modal window is answered once, in the order they open:
// - a message box (CPanelMessageBox) takes the next answer planned with AnswerBox: its action
//   runs while the box is open, then the box ends with the planned result, exactly as a click
//   on that button would end it;
// - any window, message boxes included when no box answer is planned, takes the next action
//   planned with Then (which must end the window);
// - other windows that need no answer (wait dialogs that close by themselves) go to the
//   OnOtherModal callback;
// - anything left over is unplanned: a message box is answered with OK (1) when the answerer
//   was made with Unplanned::AnswerOk or Unplanned::AnswerBoxesOnly; with AnswerBoxesOnly any
//   other window is left alone (the window under test run modally, wait dialogs that close by
//   themselves); everything else fails the test and is closed.
// File dialogs take the answers planned with AnswerFileDialog, in order; an unplanned one fails
// the test and is cancelled. LetFileDialogRun plans instead that the next one is Qt's own dialog
// for real: it is a modal window like any other, so a Then action drives it (and another one
// answers its overwrite question). The requests are kept for the test to look at.
class ModalAnswerer : public QObject
{
public:
    enum class Unplanned
    {
        Fail,
        AnswerOk,
        AnswerBoxesOnly
    };
    using WindowAction = std::function<void(QWidget* modal)>;
    using BoxAction = std::function<void(const SeenBox&)>;

    explicit ModalAnswerer(Unplanned unplanned = Unplanned::Fail,
                           std::function<bool()> pollingProbe = {})
        : m_unplanned(unplanned), m_pollingProbe(std::move(pollingProbe))
    {
        qApp->installEventFilter(this);
        m_previousRunner =
            SetFileDialogRunner([this](QWidget* parent, const FileDialogRequest& request) {
                return AnswerFile(parent, request);
            });
    }
    ~ModalAnswerer() override
    {
        qApp->removeEventFilter(this);
        SetFileDialogRunner(std::move(m_previousRunner));
    }
    ModalAnswerer(const ModalAnswerer&) = delete;
    ModalAnswerer& operator=(const ModalAnswerer&) = delete;

    void AnswerBox(int result, BoxAction action = {})
    {
        m_boxAnswers.push_back({result, std::move(action)});
    }
    void Then(WindowAction action) { m_windowActions.push_back(std::move(action)); }
    void OnOtherModal(WindowAction action) { m_otherModal = std::move(action); }
    // paths empty: the user cancels the dialog.
    void AnswerFileDialog(QStringList paths, QString selectedFilter = {})
    {
        m_fileAnswers.push_back(FileDialogAnswer{std::move(paths), std::move(selectedFilter)});
    }
    void LetFileDialogRun() { m_fileAnswers.push_back(std::nullopt); }

    const std::vector<SeenBox>& Seen() const { return m_seen; }
    int Count() const { return static_cast<int>(m_seen.size()); }
    const std::vector<FileDialogRequest>& FileRequests() const { return m_fileRequests; }
    int Shown() const { return m_shown; }
    int Unexpected() const { return m_unexpected; }
    bool AllUsed() const
    {
        return m_boxAnswers.empty() && m_windowActions.empty() && m_fileAnswers.empty();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A modal dialog is shown before its loop starts; it is answered from inside that loop.
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow() && widget->isModal())
                QTimer::singleShot(0, this, [this, window = QPointer<QWidget>(widget)] {
                    if (window && window->isVisible())
                        Answer(window);
                });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    struct BoxAnswer
    {
        int result;
        BoxAction action;
    };

    void Answer(QWidget* modal)
    {
        ++m_shown;
        if (auto* box = qobject_cast<CPanelMessageBox*>(modal)) {
            const SeenBox seen = Look(box);
            m_seen.push_back(seen);
            if (!m_boxAnswers.empty()) {
                BoxAnswer answer = std::move(m_boxAnswers.front());
                m_boxAnswers.pop_front();
                if (answer.action)
                    answer.action(seen);
                box->done(answer.result);
                return;
            }
            if (m_windowActions.empty() && m_unplanned != Unplanned::Fail) {
                box->done(1);
                return;
            }
        }
        if (!m_windowActions.empty()) {
            WindowAction action = std::move(m_windowActions.front());
            m_windowActions.pop_front();
            action(modal);
            return;
        }
        if (!qobject_cast<CPanelMessageBox*>(modal)) {
            if (m_otherModal) {
                m_otherModal(modal);
                return;
            }
            if (m_unplanned == Unplanned::AnswerBoxesOnly)
                return;
        }
        ++m_unexpected;
        ADD_FAILURE() << "unexpected window: " << modal->metaObject()->className() << " "
                      << modal->windowTitle().toStdString();
        modal->close();
        if (modal->isVisible())
            QMetaObject::invokeMethod(modal, "reject");
    }

    SeenBox Look(CPanelMessageBox* box) const
    {
        SeenBox seen;
        if (auto* label = box->findChild<QLabel*>(QString::number(CPanelMessageBox::TextId)))
            seen.text = label->text();
        for (int id : CPanelMessageBox::ButtonIds)
            if (auto* button = box->findChild<QPushButton*>(QString::number(id));
                button && button->isVisible())
                seen.captions << button->text();
        seen.pollingWhileOpen = m_pollingProbe && m_pollingProbe();
        return seen;
    }

    FileDialogAnswer AnswerFile(QWidget* parent, const FileDialogRequest& request)
    {
        m_fileRequests.push_back(request);
        if (m_fileAnswers.empty()) {
            ++m_unexpected;
            ADD_FAILURE() << "unexpected file dialog: " << request.title.toStdString();
            return {};
        }
        if (!m_fileAnswers.front()) {
            m_fileAnswers.pop_front();
            return RunOwnFileDialog(parent, request);
        }
        FileDialogAnswer answer = *m_fileAnswers.front();
        m_fileAnswers.pop_front();
        return answer;
    }

    Unplanned m_unplanned;
    std::function<bool()> m_pollingProbe;
    std::deque<BoxAnswer> m_boxAnswers;
    std::deque<WindowAction> m_windowActions;
    std::deque<std::optional<FileDialogAnswer>> m_fileAnswers; // none: the real dialog
    std::vector<SeenBox> m_seen;
    std::vector<FileDialogRequest> m_fileRequests;
    WindowAction m_otherModal;
    FileDialogRunner m_previousRunner;
    int m_shown = 0;
    int m_unexpected = 0;
};

} // namespace zr40_test
