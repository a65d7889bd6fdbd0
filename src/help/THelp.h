#pragma once
// The help viewer: carries the help archive's name and the topics, and owns
// the help window. Every window that offers help sets CurrentTopic to an
// entry name of the archive and calls Show.
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>
#include <string>

class TFrmHelp;

class THelp : public QObject {
    Q_OBJECT
public:
    explicit THelp(QObject* parent = nullptr);
    ~THelp() override;

    // The help archive. Setting it opens the archive when a readable one is
    // there; otherwise every topic shows the error page naming the path.
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& Path);
    bool ArchiveMissing() const { return archiveMissing_; }

    // Entry name of the contents page.
    const QString& Contents() const { return contents_; }
    void SetContents(const QString& Name) { contents_ = Name; }

    // The page last asked for; setting it displays that page.
    const QString& CurrentTopic() const { return currentTopic_; }
    void SetCurrentTopic(const QString& Name);

    int Width() const;
    void SetWidth(int Value);
    int Height() const;
    void SetHeight(int Value);
    bool Visible() const;
    void SetVisible(bool Value);
    bool TopMost() const { return topMost_; }
    void SetTopMost(bool Value);

    // Shows the window, not modally, and brings it forward; the first time
    // beside the window that asked for it.
    void Show();
    // Where a window of Size goes beside Anchor within Screen: right of it,
    // else left of it, else against the screen's right edge.
    static QPoint BesidePlace(const QRect& Anchor, const QSize& Size, const QRect& Screen);
    // Loads and displays one entry, leaving CurrentTopic as it is. A target
    // "page#place" shows the page at that place.
    void DisplayTopic(const QString& Name);

    TFrmHelp* Form() const { return form_.get(); }

    // The page shown when Name (archive path or entry) cannot be had; Kind is
    // "arquivo" or "documento". Every text put into it is HTML-escaped.
    static QString ErrorPage(const QString& Kind, const QString& Name);

private:
    std::unique_ptr<TFrmHelp> form_;
    std::string fileName_;
    QString contents_;
    QString currentTopic_;
    bool archiveMissing_ = true;
    bool topMost_ = false;
    bool placed_ = false;
};
