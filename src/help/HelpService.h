#pragma once
// Opens the program's help viewer. Whoever makes a window that offers help
// hands it one; a window given none offers help that does nothing (a single
// window on its own, a tool).
#include <QString>

class HelpService {
public:
    virtual ~HelpService() = default;
    // Shows the viewer at Topic ("pwd.htm").
    virtual void ShowTopic(const QString& Topic) = 0;
    // Shows the viewer at its contents page.
    virtual void ShowContents() = 0;
};
