#include "krvaboutdlg.h"

#include "dialogs/growtocontents.h"
#include "krv/gen/plugins.h"
#include "krv/gen/weblinks.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpacerItem>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QWidget *MakeBareBox(QWidget *parent, QBoxLayout *layout, const QList<QWidget *> &widgets)
{
    auto *column = new QWidget(parent);
    column->setContentsMargins(0, 0, 0, 0);
    column->setLayout(layout);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QWidget *widget : widgets)
        layout->addWidget(widget);
    return column;
}

QString AboutText()
{
    return QStringLiteral("<span style=\" font-size:12pt; font-weight:700;\">Reelway Video Converter 1.0.4</span>"
                          "<br/><br/>"
                          "Copyright &copy; 2024 Korvent. All rights reserved."
                          "<br/><br/>"
                          "This program is provided AS IS with NO WARRANTY OF ANY KIND,<br/>"
                          "including the warranty of design, merchantability and<br/>"
                          "fitness for a particular purpose.");
}

} // namespace

KRVAboutDlg::KRVAboutDlg(QWidget *parent)
    : QDialog(parent, Qt::WindowCloseButtonHint)
{
    logoLabel = new QLabel(this);
    logoLabel->setObjectName(QStringLiteral("logoLabel"));
    logoLabel->setScaledContents(false);
    logoLabel->setPixmap(QIcon(QStringLiteral(":IMG_KRV")).pixmap(QSize(150, 150), QIcon::Normal, QIcon::Off));

    const QString maker = QString::fromLatin1(MakerWebsite);
    linkLabel = new QLabel(this);
    linkLabel->setObjectName(QStringLiteral("linkLabel"));
    linkLabel->setTextFormat(Qt::RichText);
    linkLabel->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(maker));
    linkLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse
                                       | Qt::LinksAccessibleByKeyboard);
    linkLabel->setOpenExternalLinks(true);

    auto *leftLayout = new QVBoxLayout;
    QWidget *leftColumn = MakeBareBox(this, leftLayout, { logoLabel, linkLabel });
    leftLayout->addSpacerItem(new QSpacerItem(0, 1, QSizePolicy::Expanding, QSizePolicy::Expanding));

    textLabel = new QLabel(this);
    textLabel->setObjectName(QStringLiteral("textLabel"));
    textLabel->setTextFormat(Qt::RichText);
    textLabel->setText(AboutText());

    auto *rightLayout = new QVBoxLayout;
    QWidget *rightColumn = MakeBareBox(this, rightLayout, { textLabel });
    rightLayout->addSpacerItem(new QSpacerItem(0, 1, QSizePolicy::Expanding, QSizePolicy::Expanding));

    QWidget *row = MakeBareBox(this, new QHBoxLayout, { leftColumn, rightColumn });

    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    creditsBtn = new QPushButton(QStringLiteral("Credits"), buttonBox);
    creditsBtn->setObjectName(QStringLiteral("creditsBtn"));
    buttonBox->addButton(creditsBtn, QDialogButtonBox::ApplyRole);

    mainLayout = new QVBoxLayout(this);
    mainLayout->addWidget(row);
    mainLayout->addWidget(buttonBox);

    connect(creditsBtn, &QPushButton::clicked, this, &KRVAboutDlg::Credits);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &KRVAboutDlg::accept);

    GrowToContents(this, QSize(460, 270));
    setWindowTitle(QStringLiteral("About"));
}

void KRVAboutDlg::Credits()
{
    KRVAboutCreditsDlg dlg;
    dlg.exec();
}

void KRVAboutDlg::accept()
{
    QDialog::accept();
}

KRVAboutCreditsDlg::KRVAboutCreditsDlg(QWidget *parent)
    : QDialog(parent, Qt::WindowCloseButtonHint)
{
    auto *content = new QWidget;
    auto *contentLayout = new QVBoxLayout(content);

    creditsLabel = new QLabel(content);
    creditsLabel->setObjectName(QStringLiteral("creditsLabel"));
    creditsLabel->setTextFormat(Qt::RichText);
    creditsLabel->setText(creditsText);
    contentLayout->addWidget(creditsLabel);
    contentLayout->addSpacerItem(new QSpacerItem(0, 1, QSizePolicy::Expanding, QSizePolicy::Expanding));

    scrollArea = new QScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setFrameStyle(0);
    scrollArea->setWidget(content);

    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    connect(buttonBox, &QDialogButtonBox::accepted, this, &KRVAboutCreditsDlg::accept);

    mainLayout = new QVBoxLayout(this);
    mainLayout->addWidget(scrollArea);
    mainLayout->addWidget(buttonBox);

    // As wide as the longest line beside a vertical scroll bar, so that only the height ever
    // scrolls, and as tall as the whole text, both as far as the screen allows; the user may
    // still make it shorter.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scrollArea->verticalScrollBar());
    const QSize text = content->sizeHint(), room = ScreenRoom(this);
    scrollArea->setMinimumWidth(text.width() + bar);
    scrollArea->setMinimumWidth(scrollArea->minimumWidth() - std::max(0, minimumSizeHint().width() - room.width()));
    GrowToContents(this, QSize(460, 270));
    const int whole = minimumSizeHint().height() - scrollArea->minimumSizeHint().height() + text.height();
    resize(width(), std::max(height(), std::min(whole, room.height())));
    setWindowTitle(QStringLiteral("Credits"));
}

void KRVAboutCreditsDlg::accept()
{
    QDialog::accept();
}
