// The entity request form's window: its three pages, their fields with
// their limits, filters and notes, and the buttons beside them.
#include "store/TFrmRequest.h"

#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/FormatText.h"
#include "base/Texts.h"
#include "ui/Text1252.h"

namespace {

constexpr int CnpjLength = int(EntityRegistration::CnpjLength);
constexpr int CpfLength = int(EntityRegistration::CpfLength);

QLabel* MakeLabel(QWidget* Page, const char* Name, const char* Caption)
{
    auto* label = new QLabel(Tr(Caption), Page);
    label->setObjectName(QString::fromLatin1(Name));
    return label;
}

// A field's caption as the accessible name of its note: without the
// mnemonic marker and the closing colon.
QString CaptionWords(const QLabel* Caption)
{
    QString words = Caption->text();
    words.remove(QLatin1Char('&'));
    while (words.endsWith(QLatin1Char(':')) || words.endsWith(QLatin1Char(' ')))
        words.chop(1);
    return words;
}

QComboBox* MakeList(QWidget* Page, const char* Name)
{
    auto* combo = new QComboBox(Page);
    combo->setObjectName(QString::fromLatin1(Name));
    combo->setEditable(false);
    return combo;
}

} // namespace

QLineEdit* TFrmRequest::MakeEdit(QWidget* Page, const char* Name, int MaxLength, KeyFilter Filter, bool NoContextMenu)
{
    auto* edit = new QLineEdit(Page);
    edit->setObjectName(QString::fromLatin1(Name));
    if (MaxLength > 0)
        edit->setMaxLength(MaxLength);
    if (NoContextMenu) {
        // Nothing may reach these fields except through their key filter:
        // no menu, no dropped text, no middle-button paste.
        edit->setContextMenuPolicy(Qt::PreventContextMenu);
        edit->setAcceptDrops(false);
    }
    if (Filter != KeyFilter::None) {
        // Composed input would go around the per-keystroke filter.
        edit->setAttribute(Qt::WA_InputMethodEnabled, false);
        Filters_.append({edit, Filter});
    }
    edit->installEventFilter(this);
    return edit;
}

QLabel* TFrmRequest::AddNote(QLineEdit* Edit, const QLabel* Caption)
{
    auto* label = new QLabel(Edit->parentWidget());
    label->setObjectName(QStringLiteral("Note") + Edit->objectName());
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    label->setFont(small);
    // One line always, so that the page does not move while the user types.
    label->setMinimumHeight(label->fontMetrics().height());
    label->setAccessibleName(
        QString::fromStdString(FormatText(Texts::AccFieldNote, {CaptionWords(Caption).toStdString()})));
    const std::size_t limit = Edit->maxLength() < 32767 ? std::size_t(Edit->maxLength()) : 0;
    Notes_.push_back({Edit, label, TFieldNote(limit)});
    connect(Edit, &QLineEdit::textChanged, this, [this, Edit](const QString& Text) {
        if (Text.isEmpty()) {
            for (Note& note : Notes_)
                if (note.edit == Edit)
                    note.note.Clear();
        }
        ShowNote(Edit);
    });
    ShowNote(Edit);
    return label;
}

void TFrmRequest::ShowNote(QLineEdit* Edit)
{
    for (const Note& note : Notes_) {
        if (note.edit != Edit)
            continue;
        const QString text = QString::fromStdString(note.note.Text(std::size_t(Edit->text().size())));
        note.label->setText(text);
        // Read out with the field, for those who do not see the note.
        Edit->setAccessibleDescription(text);
    }
}

QLabel* TFrmRequest::NoteOf(const QLineEdit* Edit) const
{
    for (const Note& note : Notes_)
        if (note.edit == Edit)
            return note.label;
    return nullptr;
}

void TFrmRequest::BuildPages()
{
    LabelMsg = new QLabel(Tr(Texts::ReqExplanation), this);
    LabelMsg->setObjectName(QStringLiteral("LabelMsg"));
    LabelMsg->setWordWrap(true);
    LabelMsg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelMsg->setFixedWidth(120);
    LabelMsg->setFrameShape(QFrame::StyledPanel);
    LabelMsg->setMargin(6);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setAccessibleName(Tr(Texts::AccRequestPages));

    // Identification page.
    TabId = new QWidget;
    TabId->setObjectName(QStringLiteral("TabId"));
    {
        auto* grid = new QGridLayout(TabId);
        LabelProfiles = MakeLabel(TabId, "LabelProfiles", Texts::ReqLabelProfiles);
        ComboProfiles = MakeList(TabId, "ComboProfiles");
        LabelId = MakeLabel(TabId, "LabelId", Texts::ReqLabelId);
        ComboTypeId = MakeList(TabId, "ComboTypeId");
        EditId = MakeEdit(TabId, "EditId", CnpjLength, KeyFilter::Identifier, true);
        LabelName = MakeLabel(TabId, "LabelName", Texts::ReqLabelName);
        EditName = MakeEdit(TabId, "EditName", 31, KeyFilter::Alfa, true);
        LabelPhone = MakeLabel(TabId, "LabelPhone", Texts::ReqLabelPhone);
        EditPhone = MakeEdit(TabId, "EditPhone", 12, KeyFilter::Numeric, true);
        LabelId->setBuddy(EditId);
        LabelName->setBuddy(EditName);
        LabelPhone->setBuddy(EditPhone);
        LabelProfiles->setBuddy(ComboProfiles);
        // The identifier's label names the number field; the type list beside
        // it gets a name of its own.
        ComboTypeId->setAccessibleName(Tr(Texts::AccTypeId));
        ComboProfiles->setAccessibleName(LabelProfiles->text());

        grid->addWidget(LabelProfiles, 0, 0, 1, 2);
        grid->addWidget(ComboProfiles, 1, 0, 1, 2);
        grid->addWidget(LabelId, 2, 0, 1, 2);
        grid->addWidget(ComboTypeId, 3, 0);
        grid->addWidget(EditId, 3, 1);
        grid->addWidget(AddNote(EditId, LabelId), 4, 1);
        grid->addWidget(LabelName, 5, 0, 1, 2);
        grid->addWidget(EditName, 6, 0, 1, 2);
        grid->addWidget(AddNote(EditName, LabelName), 7, 0, 1, 2);
        grid->addWidget(LabelPhone, 8, 0, 1, 2);
        grid->addWidget(EditPhone, 9, 0);
        grid->addWidget(AddNote(EditPhone, LabelPhone), 9, 1);
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(10, 1);
    }
    PageControl1->addTab(TabId, Tr(Texts::ReqTabId));

    // Address page.
    TabLocale = new QWidget;
    TabLocale->setObjectName(QStringLiteral("TabLocale"));
    {
        auto* grid = new QGridLayout(TabLocale);
        LabelAddress = MakeLabel(TabLocale, "LabelAddress", Texts::ReqLabelAddress);
        EditAddress = MakeEdit(TabLocale, "EditAddress", 50, KeyFilter::All, true);
        LabelLocale = MakeLabel(TabLocale, "LabelLocale", Texts::ReqLabelLocale);
        EditLocale = MakeEdit(TabLocale, "EditLocale", 20, KeyFilter::All, true);
        LabelCity = MakeLabel(TabLocale, "LabelCity", Texts::ReqLabelCity);
        EditCity = MakeEdit(TabLocale, "EditCity", 20, KeyFilter::All, true);
        LabelZip = MakeLabel(TabLocale, "LabelZip", Texts::ReqLabelZip);
        EditZip = MakeEdit(TabLocale, "EditZip", 8, KeyFilter::Numeric, true);
        LabelState = MakeLabel(TabLocale, "LabelState", Texts::ReqLabelState);
        ComboUF = MakeList(TabLocale, "ComboUF");
        LabelMail = MakeLabel(TabLocale, "LabelMail", Texts::ReqLabelMail);
        EditMail = MakeEdit(TabLocale, "EditMail", 100, KeyFilter::None, false);
        LabelAddress->setBuddy(EditAddress);
        LabelLocale->setBuddy(EditLocale);
        LabelCity->setBuddy(EditCity);
        LabelZip->setBuddy(EditZip);
        LabelState->setBuddy(ComboUF);
        ComboUF->setAccessibleName(LabelState->text());
        LabelMail->setBuddy(EditMail);

        grid->addWidget(LabelAddress, 0, 0, 1, 2);
        grid->addWidget(EditAddress, 1, 0, 1, 2);
        grid->addWidget(AddNote(EditAddress, LabelAddress), 2, 0, 1, 2);
        grid->addWidget(LabelLocale, 3, 0);
        grid->addWidget(EditLocale, 4, 0);
        grid->addWidget(AddNote(EditLocale, LabelLocale), 5, 0);
        grid->addWidget(LabelCity, 3, 1);
        grid->addWidget(EditCity, 4, 1);
        grid->addWidget(AddNote(EditCity, LabelCity), 5, 1);
        grid->addWidget(LabelZip, 6, 0);
        grid->addWidget(EditZip, 7, 0);
        grid->addWidget(AddNote(EditZip, LabelZip), 8, 0);
        grid->addWidget(LabelState, 6, 1);
        grid->addWidget(ComboUF, 7, 1);
        grid->addWidget(LabelMail, 9, 0, 1, 2);
        grid->addWidget(EditMail, 10, 0, 1, 2);
        grid->setRowStretch(11, 1);
    }
    PageControl1->addTab(TabLocale, Tr(Texts::ReqTabLocale));

    // Responsible persons page.
    TabResp = new QWidget;
    TabResp->setObjectName(QStringLiteral("TabResp"));
    {
        auto* grid = new QGridLayout(TabResp);
        LabelResp = MakeLabel(TabResp, "LabelResp", Texts::ReqLabelResp);
        EdtResp = MakeEdit(TabResp, "EdtResp", 0, KeyFilter::Alfa, false);
        LabelCpfResp = MakeLabel(TabResp, "LabelCpfResp", Texts::ReqLabelCpfResp);
        EdtCpfResp = MakeEdit(TabResp, "EdtCpfResp", CpfLength, KeyFilter::Numeric, false);
        BtnAdicionar = new QPushButton(Tr(Texts::ReqAddResp), TabResp);
        BtnAdicionar->setObjectName(QStringLiteral("BtnAdicionar"));
        BtnAdicionar->setAutoDefault(false);
        BtnRemover = new QPushButton(Tr(Texts::ReqRemoveResp), TabResp);
        BtnRemover->setObjectName(QStringLiteral("BtnRemover"));
        BtnRemover->setAutoDefault(false);
        BtnRemover->setEnabled(false);
        ltvResp = new QTreeWidget(TabResp);
        ltvResp->setObjectName(QStringLiteral("ltvResp"));
        ltvResp->setAccessibleName(Tr(Texts::AccRespList));
        ltvResp->setColumnCount(3);
        ltvResp->setHeaderLabels({Tr(Texts::ReqColumnNumber), Tr(Texts::ReqColumnName), Tr(Texts::ReqColumnCpf)});
        ltvResp->setRootIsDecorated(false);
        ltvResp->setItemsExpandable(false);
        ltvResp->setSelectionMode(QAbstractItemView::SingleSelection);
        ltvResp->setSelectionBehavior(QAbstractItemView::SelectRows);
        ltvResp->setSortingEnabled(false);
        ltvResp->header()->setSectionsMovable(false);
        ltvResp->setColumnWidth(0, 32);
        ltvResp->setColumnWidth(1, 190);
        LabelResp->setBuddy(EdtResp);
        LabelCpfResp->setBuddy(EdtCpfResp);

        grid->addWidget(LabelResp, 0, 0, 1, 2);
        grid->addWidget(EdtResp, 1, 0, 1, 2);
        grid->addWidget(AddNote(EdtResp, LabelResp), 2, 0, 1, 2);
        grid->addWidget(LabelCpfResp, 3, 0, 1, 2);
        grid->addWidget(EdtCpfResp, 4, 0);
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(BtnAdicionar);
        buttons->addWidget(BtnRemover);
        grid->addLayout(buttons, 4, 1);
        grid->addWidget(AddNote(EdtCpfResp, LabelCpfResp), 5, 0, 1, 2);
        grid->addWidget(ltvResp, 6, 0, 1, 2);
        grid->setRowStretch(6, 1);

        connect(BtnAdicionar, &QPushButton::clicked, this, [this] { BtnAdicionarClick(); });
        connect(BtnRemover, &QPushButton::clicked, this, [this] { BtnRemoverClick(); });
    }
    PageControl1->addTab(TabResp, Tr(Texts::ReqTabResp));
    PageControl1->setMinimumSize(380, 300);
    // A page brought to the front (Ctrl+Tab, a click on its tab, a check
    // that failed) takes the keyboard on its first field.
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int) {
        if (!isVisible())
            return;
        QWidget* page = PageControl1->currentWidget();
        QWidget* first = page == TabId ? static_cast<QWidget*>(EditId) : page == TabLocale ? EditAddress : EdtResp;
        first->setFocus(Qt::TabFocusReason);
    });

    ButtonOK = new QPushButton(Tr(Texts::ReqOK), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    ButtonCancel = new QPushButton(Tr(Texts::ReqCancel), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);
    ButtonHelp = new QPushButton(Tr(Texts::ReqHelp), this);
    ButtonHelp->setObjectName(QStringLiteral("ButtonHelp"));
    ButtonHelp->setAutoDefault(false);
    connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });

    auto* buttonColumn = new QVBoxLayout;
    buttonColumn->addWidget(ButtonOK);
    buttonColumn->addWidget(ButtonCancel);
    buttonColumn->addWidget(ButtonHelp);
    buttonColumn->addStretch(1);

    auto* main = new QHBoxLayout(this);
    main->addWidget(LabelMsg);
    main->addWidget(PageControl1, 1);
    main->addLayout(buttonColumn);
    main->setSizeConstraint(QLayout::SetFixedSize);
}
