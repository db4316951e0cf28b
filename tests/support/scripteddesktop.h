#pragma once

#include "desktop/desktop.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace kaviro::test {

// One call a window made on the desktop, as recorded by ScriptedDesktop.
struct DesktopCall {
    enum class Kind { MessageBox, OpenFile, Folder, OpenUrl };
    Kind kind = Kind::MessageBox;
    // MessageBox
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    // OpenFile / Folder
    Desktop::OpenFileRequest openFile;
    Desktop::FolderRequest folder;
    // OpenUrl
    QUrl url;
};

// A desktop for tests: records every call in order and answers from queues
// the test fills beforehand. A message box with a single button needs no
// scripted answer; a question without one fails the test and answers its
// escape button (Cancel, No). File and folder dialogs without an answer
// count as cancelled.
class ScriptedDesktop : public Desktop {
public:
    std::vector<DesktopCall> calls;
    std::deque<QMessageBox::StandardButton> buttonAnswers;
    std::deque<std::optional<QString>> fileAnswers;
    // For dialogs choosing several files; an empty list is a cancel.
    std::deque<QStringList> fileListAnswers;
    std::deque<std::optional<QString>> folderAnswers;
    bool openUrlResult = true;
    // Runs at each call after it is recorded, while the "dialog" is open:
    // lets a test look at the window's state at that moment.
    std::function<void(const DesktopCall &)> onCall;

    QMessageBox::StandardButton messageBox(QWidget *, const QString &caption, const QString &text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::Icon icon) override
    {
        DesktopCall call;
        call.kind = DesktopCall::Kind::MessageBox;
        call.caption = caption;
        call.text = text;
        call.buttons = buttons;
        call.icon = icon;
        if (!buttonAnswers.empty()) {
            call.answer = buttonAnswers.front();
            buttonAnswers.pop_front();
        } else if (singleButton(buttons)) {
            call.answer = static_cast<QMessageBox::StandardButton>(buttons.toInt());
        } else {
            ADD_FAILURE() << "unscripted question: " << caption.toStdString() << ": "
                          << text.toStdString();
            call.answer = buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::No;
        }
        record(call);
        return call.answer;
    }

    std::optional<QString> openFileName(QWidget *, const OpenFileRequest &request) override
    {
        DesktopCall call;
        call.kind = DesktopCall::Kind::OpenFile;
        call.caption = request.title;
        call.openFile = request;
        record(call);
        return take(fileAnswers);
    }

    QStringList openFileNames(QWidget *, const OpenFileRequest &request) override
    {
        DesktopCall call;
        call.kind = DesktopCall::Kind::OpenFile;
        call.caption = request.title;
        call.openFile = request;
        record(call);
        if (fileListAnswers.empty())
            return {};
        const QStringList answer = fileListAnswers.front();
        fileListAnswers.pop_front();
        return answer;
    }

    std::optional<QString> folderName(QWidget *, const FolderRequest &request) override
    {
        DesktopCall call;
        call.kind = DesktopCall::Kind::Folder;
        call.caption = request.title;
        call.folder = request;
        record(call);
        return take(folderAnswers);
    }

    bool openUrl(const QUrl &url) override
    {
        DesktopCall call;
        call.kind = DesktopCall::Kind::OpenUrl;
        call.url = url;
        record(call);
        return openUrlResult;
    }

    // The message boxes shown so far, in order.
    std::vector<DesktopCall> messageBoxes() const { return ofKind(DesktopCall::Kind::MessageBox); }
    std::vector<DesktopCall> openedUrls() const { return ofKind(DesktopCall::Kind::OpenUrl); }

private:
    static bool singleButton(QMessageBox::StandardButtons buttons)
    {
        const auto bits = buttons.toInt();
        return bits != 0 && (bits & (bits - 1)) == 0;
    }

    static std::optional<QString> take(std::deque<std::optional<QString>> &answers)
    {
        if (answers.empty())
            return std::nullopt;
        const bool chosen = answers.front().has_value();
        const QString value = answers.front().value_or(QString());
        answers.pop_front();
        if (!chosen)
            return std::nullopt;
        return value;
    }

    void record(const DesktopCall &call)
    {
        calls.push_back(call);
        if (onCall)
            onCall(call);
    }

    std::vector<DesktopCall> ofKind(DesktopCall::Kind kind) const
    {
        std::vector<DesktopCall> result;
        for (const DesktopCall &call : calls)
            if (call.kind == kind)
                result.push_back(call);
        return result;
    }
};

} // namespace kaviro::test
