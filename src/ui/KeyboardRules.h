#pragma once
// What the keyboard does in every window of the program, in one place:
// - Alt with a letter that no shortcut takes never types into a field (Qt
//   would type the letter, replacing a selected text);
// - F1 opens the help page of the window that has the keyboard: the topic
//   set on it (or on a window above it) with SetHelpTopic, else what its
//   help button ("ButtonHelp") shows.
// Installed once on the application at start, with the program's help.
#include <QChar>
#include <QObject>
#include <QString>

class HelpService;
class QWidget;

class KeyboardRules : public QObject {
    Q_OBJECT
public:
    // The rules of the running application (made on first use); Help is
    // the viewer that F1 opens from now on (null: none).
    static KeyboardRules& Install(HelpService* Help = nullptr);

    // The help page that F1 opens in Window and the dialogs it owns.
    static void SetHelpTopic(QWidget* Window, const QString& Topic);
    // The page F1 opens from Widget: the first topic set on it or above
    // it; empty when none is set.
    static QString HelpTopicOf(const QWidget* Widget);
    // The Alt letter of a caption (the letter after a single '&'), in
    // lower case; none for a caption without one.
    static QChar Mnemonic(const QString& Text);

    // Gives each caption of Window (buttons, labels that name a control,
    // tabs, menu entries) that has no Alt letter its first letter, when no
    // other caption of the window (or of its menu) holds that letter
    // already; the words stay as they are.
    static void AddFreeLetters(QWidget* Window);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    explicit KeyboardRules(QObject* Parent);
    bool OpenHelp(QWidget* From);
    HelpService* help_ = nullptr;
};
