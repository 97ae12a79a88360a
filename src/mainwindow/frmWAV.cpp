// The window itself: its controls, load, resize and unload, and the folder listing.
#include "mainwindow/frmWAV.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <cmath>

#include "mainwindow/FindLine.h"
#include "mainwindow/Icons.h"
#include "mainwindow/PathListModel.h"
#include "mainwindow/PathListView.h"
#include "sound/Sound.h"
#include "startup/Globals.h"
#include "util/Commands.h"
#include "util/WindowCommands.h"

namespace {

// The design's client area and the frame the list's formulas were measured with
// (outer = client + 150 wide, + 445 high), so the list keeps the designed margins.
constexpr int kClientWidth = 3525;
constexpr int kClientHeight = 4515;
constexpr int kListWidthLess = 360 - 150;    // list width = client width - 210
constexpr int kListHeightLess = 1060 - 445;  // list height = client height - 615

int Px(int twips) { return TwipsToPixels(twips); }
// Whole twips of a pixel length, as the settings file keeps them.
float Twips(int px) { return std::round(PixelsToTwips(px)); }

void Place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

// Colour values keep red in the low byte.
QColor FromValue(uint32_t v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }

QFont SansBold825() {
    QFont f = QApplication::font();
    f.setPointSizeF(8.25);
    f.setWeight(QFont::Bold);
    return f;
}

}  // namespace

frmWAV::frmWAV() {
    setWindowTitle("Brimvale WAV Player/Looper");
    setWindowIcon(AppIcon());
    resize(Px(kClientWidth), Px(kClientHeight));
    move(Px(1320), Px(2460));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, FromValue(4194304));  // navy
    setPalette(pal);
    setAutoFillBackground(true);
    BuildControls();
    BuildMenu();
    BuildLevelMenu();
    BuildPlaces();
    BuildAccess();
    BuildFind();
    logic.listChanging = [this] { lstPathModel->BeginReset(); };
    logic.listChanged = [this] {
        lstPathModel->EndReset();
        if (logic.Finding() == find::Mode::Off && txtFind->isVisibleTo(this)) FindClose();
        // Out of the favourites (Back, Root, a favourite's folder): the box shows the volume of
        // the folder shown, not a list that has gone.
        if (!logic.ShowingFavourites() && drvDrives->currentIndex() >= 0 &&
            drvDrives->currentData().toByteArray().isEmpty())
            SelectDriveOf(dirDirs.Path());
    };
    Form_Load();
    SetLevel(FormLogic::SavedLevel(), false);
}

// The list's model reads the logic's entries: the list goes before the logic does (child
// widgets would otherwise outlive the members).
frmWAV::~frmWAV() {
    logic.listChanging = logic.listChanged = nullptr;
    logic.foundReady = nullptr;
    delete lstPath;
}

void frmWAV::BuildControls() {
    drvDrives = new QComboBox(this);
    drvDrives->setObjectName("drvDrives");
    Place(drvDrives, 120, 120, 2355, 315);
    drvDrives->setFont(SansBold825());
    QPalette dp = drvDrives->palette();
    for (auto role : {QPalette::Base, QPalette::Button, QPalette::Window})
        dp.setColor(role, FromValue(0));
    for (auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        dp.setColor(role, FromValue(14737632));
    drvDrives->setPalette(dp);
    FillDrives();
    connect(drvDrives, &QComboBox::activated, this, [this](int) { drvDrives_Change(); });

    lstPath = new PathListView(this);
    lstPath->setObjectName("lstPath");
    lstPathModel = new PathListModel(logic, lstPath);
    lstPath->setModel(lstPathModel);
    connect(lstPath, &PathListView::pressed, this,
            [this](int button) { lstPath_MouseDown(static_cast<int16_t>(button), 0, 0, 0); });
    connect(lstPath, &PathListView::keyReleased, this, [this](int key, int shift) {
        if (MarkKeyReleased(key)) return;
        FindKeyInList(key);
        int16_t keyCode = static_cast<int16_t>(key), shiftState = static_cast<int16_t>(shift);
        lstPath_KeyUp(keyCode, shiftState);
    });
    connect(lstPath, &PathListView::doubleClicked, this, [this] { lstPath_DblClick(); });
    connect(lstPath, &PathListView::levelStep, this,
            [this](int step) { step > 0 ? mnuLouder_Click() : mnuQuieter_Click(); });
    connect(lstPath, &PathListView::dropped, this,
            [this](const QMimeData* data) { lstPath_OLEDragDrop(data); });
    Place(lstPath, 120, 510, 3315, 3900);
    // Resolved by fontconfig when first drawn; asking now would load the font database early.
    QFont fixed("monospace");
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    fixed.setPointSizeF(9);
    fixed.setWeight(QFont::Normal);
    lstPath->setFont(fixed);
    SetListColors(0, 14737632);

    frmPaths = new QGroupBox("FileHandling", this);
    frmPaths->setObjectName("frmPaths");
    Place(frmPaths, 5460, 1380, 3615, 1575);
    // Its two list boxes are the folder and file scanners; the frame itself stays out of view.
    frmPaths->hide();

    auto button = [this](const char* name, const QString& text, int left, int top, int w, int h) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        Place(b, left, top, w, h);
        return b;
    };
    cmdRoot = button("cmdRoot", "/", 2520, 120, 300, 330);
    cmdRoot->setFont(SansBold825());
    cmdRoot->setToolTip("Ins Wurzelverzeichnis wechseln");
    cmdBack = button("cmdBack", "..", 2820, 120, 300, 330);
    cmdBack->setFont(SansBold825());
    cmdBack->setToolTip(QString::fromUtf8("eine Verzeichnisebene h\xc3\xb6her"));
    cmdDummy = button("cmdDummy", "", -2460, 0, 195, 195);
    Command2 = button("Command2", "", 3120, 120, 300, 330);
    Command2->setIcon(ReloadIcon());
    Command2->setIconSize(QSize(Px(300) - 6, Px(330) - 6));
    Command2->setToolTip("Dateiliste neu einlesen");
    for (QPushButton* b : {cmdRoot, cmdBack, cmdDummy, Command2}) b->setAutoDefault(false);
    connect(cmdRoot, &QPushButton::clicked, this, [this] { cmdRoot_Click(); });
    connect(cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });

    lblPath = new QLabel(this);
    lblPath->setObjectName("lblPath");
    Place(lblPath, 3570, 150, 24795, 300);
    QFont arial("Arial");
    arial.setStyleHint(QFont::SansSerif);
    arial.setPointSizeF(9.75);
    arial.setWeight(QFont::Bold);
    lblPath->setFont(arial);
    QPalette lp = lblPath->palette();
    lp.setColor(QPalette::WindowText, FromValue(8454143));
    lblPath->setPalette(lp);
    lblPath->setTextFormat(Qt::PlainText);

    setTabOrder(drvDrives, lstPath);
    setTabOrder(lstPath, cmdRoot);
    setTabOrder(cmdRoot, cmdBack);
    setTabOrder(cmdBack, cmdDummy);
    setTabOrder(cmdDummy, Command2);
    drvDrives->setFocus();
}

void frmWAV::BuildMenu() {
    mnuPop = new QMenu("Pop", this);
    mnuPop->setObjectName("mnuPop");
    mnuLoop = mnuPop->addAction("Loop");
    mnuNix = mnuPop->addSeparator();
    mnuPlay = mnuPop->addAction("Play               ( ENTER )");
    mnuStop = mnuPop->addAction("Stop              ( SPACE )");
    mnuNix2 = mnuPop->addSeparator();
    mnuKeepTop = mnuPop->addAction("immer im Vordergrund");
    mnuLoop->setObjectName("mnuLoop");
    mnuPlay->setObjectName("mnuPlay");
    mnuStop->setObjectName("mnuStop");
    mnuKeepTop->setObjectName("mnuKeepTop");
    mnuLoop->setCheckable(true);
    mnuKeepTop->setCheckable(true);
    // Qt flips a checkable item before it reports the click; the handlers do the flipping
    // themselves (start-up calls them directly too), so undo Qt's flip first.
    connect(mnuLoop, &QAction::triggered, this, [this] {
        mnuLoop->setChecked(!mnuLoop->isChecked());
        mnuLoop_Click();
    });
    connect(mnuKeepTop, &QAction::triggered, this, [this] {
        mnuKeepTop->setChecked(!mnuKeepTop->isChecked());
        mnuKeepTop_Click();
    });
    connect(mnuPlay, &QAction::triggered, this, [this] { mnuPlay_Click(); });
    connect(mnuStop, &QAction::triggered, this, [this] { mnuStop_Click(); });
}

void frmWAV::FillDrives() {
    drvDrives->clear();
    for (const std::string& d : dirlist::Drives())
        drvDrives->addItem(DisplayName(d), QByteArray::fromStdString(d));
    FillPlaces();
}

void frmWAV::Form_Load() {
    // The menu exists only as the list's pop-up; the window has no menu bar.
    auto w = RoundToInt16(FormWidth(*this));
    MinWidth = w ? *w : 0;
    // Asked of the window manager too, so the border cannot be dragged narrower at all.
    setMinimumWidth(Px(MinWidth));
    OpenAndRebuild(AppDir);
    SetLabelText(AppDir);
    SelectDriveOf(dirDirs.Path());  // the drive box starts on the program's volume
    SetListColors(65535, 0);
}

void frmWAV::SelectDriveOf(const std::string& folder) {
    int at = drvDrives->findData(QByteArray::fromStdString(dirlist::MountPointOf(folder)));
    if (at >= 0) drvDrives->setCurrentIndex(at);
}

void frmWAV::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

// The frame arrives from the window manager some time after the first show.
void frmWAV::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FitPendingOuterSize(*this);
    for (int ms : {0, 50, 200, 1000})
        QTimer::singleShot(ms, this, [this] { FitPendingOuterSize(*this); });
}

void frmWAV::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    FitPendingOuterSize(*this);
}

void frmWAV::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized()) Form_Resize();
    if (event->type() == QEvent::ActivationChange) Sound::Attend(isActiveWindow() || underMouse());
}

// The device runs while the user is at the window, so the first key after coming back is heard
// at once; once the user left and nothing plays it may rest.
void frmWAV::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    Sound::Attend(true);
}

void frmWAV::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    Sound::Attend(isActiveWindow());
}

void frmWAV::Form_Resize() {
    if (!lstPath || isMinimized()) return;  // restoring brings the old layout back
    if (FormWidth(*this) < MinWidth) SetFormWidth(*this, MinWidth);
    const int h = Px(static_cast<int>(std::lround(PixelsToTwips(height()))) - kListHeightLess);
    const int w = Px(static_cast<int>(std::lround(PixelsToTwips(width()))) - kListWidthLess);
    // A window lower than the list's top margin keeps the list's last height.
    lstPath->resize(std::max(0, w), h > 0 ? h : lstPath->height());
    PlaceFind(true);
}

void frmWAV::closeEvent(QCloseEvent* event) {
    int16_t cancel = 0;
    Form_Unload(cancel);
    closing_ = true;
    event->accept();  // the window always closes
}

void frmWAV::Form_Unload(int16_t& /*cancel*/) {
    // A minimised or maximised window keeps its normal geometry, so the next start opens
    // where the user last had it.
    QRect frame = frameGeometry();
    if (isMinimized() || isMaximized() || isFullScreen()) {
        QRect inner = geometry(), normal = normalGeometry();
        frame = normal.adjusted(frame.left() - inner.left(), frame.top() - inner.top(),
                                frame.right() - inner.right(), frame.bottom() - inner.bottom());
    }
    logic.Unload(Twips(frame.top()), Twips(frame.left()), Twips(frame.height()),
                 Twips(frame.width()));
}

void frmWAV::OpenAndRebuild(const std::string& folder) { logic.OpenAndRebuild(folder); }

void frmWAV::dirDirs_Change() { logic.Rebuild(); }

void frmWAV::drvDrives_Change() {
    // A volume that cannot be opened: the box goes back to the current folder's volume.
    if (!logic.OpenPlace(drvDrives->currentData().toByteArray().toStdString()))
        SelectDriveOf(dirDirs.Path());
}

int frmWAV::ListIndex() const {
    QModelIndexList rows = lstPath->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void frmWAV::SetListIndex(int row) {
    if (row < 0 || row >= lstPathModel->Count()) {
        lstPath->clearSelection();
        return;
    }
    QModelIndex index = lstPathModel->index(row);
    lstPath->setCurrentIndex(index);
    lstPath->scrollTo(index);
}

std::string frmWAV::SelectedText() const {
    int row = ListIndex();
    return row < 0 ? std::string() : logic.Entries()[static_cast<size_t>(row)].text;
}

std::string frmWAV::LabelText() const { return labelText_; }

void frmWAV::SetLabelText(const std::string& text) {
    labelText_ = text;
    lblPath->setText(DisplayName(text));
}

void frmWAV::SetListColors(uint32_t back, uint32_t fore) {
    QPalette p = lstPath->palette();
    p.setColor(QPalette::Base, FromValue(back));
    p.setColor(QPalette::Text, FromValue(fore));
    lstPath->setPalette(p);
}
