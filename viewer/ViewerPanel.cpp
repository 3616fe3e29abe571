#include "viewer/ViewerPanel.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QOpenGLContext>
#include <QSlider>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "viewer/SceneRenderer.h"
#include "viewer/SceneView.h"

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

// Whether this platform gives OpenGL contexts at all (the offscreen and
// minimal platforms, or an X server without GLX, do not; a GL widget there
// can bring the whole window down).
bool OpenGLAvailable()
{
    static const bool available = [] {
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
            return false;
        QOpenGLContext context;
        return context.create();
    }();
    return available;
}

QString Count(uint64_t n)
{
    return QLocale(QLocale::English).toString(qulonglong(n));
}

// "1 triangle", "2,944 triangles".
QString Plural(uint64_t n, const char* one, const char* many = nullptr)
{
    return Count(n) + QLatin1Char(' ') +
           (n == 1 ? QString::fromLatin1(one)
            : many ? QString::fromLatin1(many)
                   : QString::fromLatin1(one) + 's');
}

const char* KindName(EDrawNodeKind kind)
{
    switch (kind) {
    case eNodeMesh: return "mesh";
    case eNodeLight: return "light";
    case eNodeCamera: return "camera";
    case eNodeBone: return "bone";
    default: return "node";
    }
}

} // namespace

CViewerPanel::CViewerPanel(QWidget* parent) : QWidget(parent)
{
    m_pTimer = new QTimer(this);
    m_pClock = new QElapsedTimer;
    connect(m_pTimer, &QTimer::timeout, this, &CViewerPanel::OnTick);
    BuildUI();
    UpdateStatus();
}

CViewerPanel::~CViewerPanel()
{
    if (!m_pView->parent())
        delete m_pView;
    delete m_pClock;
    Destroy(m_scene);
}

void CViewerPanel::BuildUI()
{
    setObjectName(QStringLiteral("ViewerPanel"));
    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    QToolBar* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ViewerToolBar"));
    layout->addWidget(bar);
    // Without OpenGL the view keeps its camera and settings but is never shown.
    m_pView = new CSceneView(OpenGLAvailable() ? this : nullptr);
    m_pView->setObjectName(QStringLiteral("SceneView"));

    QAction* frameAll = bar->addAction(QStringLiteral("Frame all"), this, &CViewerPanel::FrameAll);
    frameAll->setShortcut(QKeySequence(QStringLiteral("F")));
    frameAll->setToolTip(QStringLiteral("Fit the whole scene into the view (F)"));
    const auto toggle = [this, bar](const QString& text, const QString& key, const QString& tip, bool on,
                                    bool SRenderSettings::*flag) {
        QAction* action = bar->addAction(text);
        action->setCheckable(true);
        action->setChecked(on);
        action->setShortcut(QKeySequence(key));
        action->setToolTip(tip + QStringLiteral(" (") + key + QStringLiteral(")"));
        action->setObjectName(text);
        connect(action, &QAction::toggled, this, [this, flag](bool checked) {
            m_pView->Settings().*flag = checked;
            m_pView->update();
        });
    };
    toggle(QStringLiteral("Wireframe"), QStringLiteral("W"), QStringLiteral("Draw triangle edges only"), false,
           &SRenderSettings::bWireframe);
    toggle(QStringLiteral("Normals"), QStringLiteral("N"), QStringLiteral("Show vertex normals"), false,
           &SRenderSettings::bNormals);
    toggle(QStringLiteral("Bounds"), QStringLiteral("B"), QStringLiteral("Show the bounding box of every mesh"), false,
           &SRenderSettings::bBounds);
    toggle(QStringLiteral("Headlight"), QStringLiteral("L"),
           QStringLiteral("A light at the eye, besides the file's lights"), true, &SRenderSettings::bHeadlight);
    toggle(QStringLiteral("Axes"), QStringLiteral("A"), QStringLiteral("The axis gizmo: which way is up"), true,
           &SRenderSettings::bGizmo);
    bar->addSeparator();
    m_pCameras = new QComboBox(bar);
    m_pCameras->setObjectName(QStringLiteral("CameraList"));
    m_pCameras->setToolTip(QStringLiteral("Look through one of the file's cameras"));
    m_pCameras->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    bar->addWidget(m_pCameras);
    connect(m_pCameras, qOverload<int>(&QComboBox::activated), this, [this](int index) { LookThrough(index - 1); });
    bar->addSeparator();
    m_pPlay = bar->addAction(QStringLiteral("Play"));
    m_pPlay->setObjectName(QStringLiteral("Play"));
    m_pPlay->setCheckable(true);
    m_pPlay->setShortcut(QKeySequence(QStringLiteral("Space")));
    m_pPlay->setToolTip(QStringLiteral("Play or pause the animation at the file's frame rate (Space)"));
    connect(m_pPlay, &QAction::toggled, this, &CViewerPanel::SetPlaying);
    m_pSlider = new QSlider(Qt::Horizontal, bar);
    m_pSlider->setObjectName(QStringLiteral("FrameSlider"));
    m_pSlider->setMinimumWidth(160);
    m_pSlider->setToolTip(QStringLiteral("Animation frame"));
    bar->addWidget(m_pSlider);
    connect(m_pSlider, &QSlider::valueChanged, this, [this](int value) {
        if (!IsPlaying())
            SetFrame(float(value));
    });
    m_pFrameLabel = new QLabel(bar);
    m_pFrameLabel->setObjectName(QStringLiteral("FrameLabel"));
    m_pFrameLabel->setMinimumWidth(130);
    bar->addWidget(m_pFrameLabel);

    QSplitter* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("ViewerSplitter"));
    m_pTree = new QTreeWidget(split);
    m_pTree->setObjectName(QStringLiteral("NodeTree"));
    m_pTree->setHeaderLabels({QStringLiteral("Node"), QStringLiteral("Kind"), QStringLiteral("Contents")});
    m_pTree->setToolTip(QStringLiteral("The file's nodes; click one to frame it, untick a mesh to hide it"));
    // Everything stays on the panel: the kind keeps its width, a long name
    // (up to half the panel) and the contents are shortened in the middle;
    // each cell's tool tip gives its text whole.
    m_pTree->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    m_pTree->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_pTree->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_pTree->header()->setStretchLastSection(true);
    m_pTree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pTree->setTextElideMode(Qt::ElideMiddle);
    m_pTree->installEventFilter(this);
    m_pTree->setUniformRowHeights(true);
    connect(m_pTree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int column) {
        if (column != 0 || !(item->flags() & Qt::ItemIsUserCheckable))
            FrameNode(item->data(0, kNodeRole).toInt());
    });
    connect(m_pTree, &QTreeWidget::itemChanged, this, &CViewerPanel::OnItemChanged);
    connect(m_pView, &CSceneView::glFailed, this, [this](const QString& why) {
        m_pStatus->setText(QStringLiteral("The scene cannot be drawn: ") + why);
        m_pStatus->setStyleSheet(QStringLiteral("color: #c0392b;"));
    });
    split->addWidget(m_pTree);
    if (m_pView->parent()) {
        split->addWidget(m_pView);
    } else {
        QLabel* none = new QLabel(QStringLiteral("OpenGL is not available here, so the scene cannot be drawn; "
                                                 "its nodes and counts are shown."),
                                  split);
        none->setObjectName(QStringLiteral("NoOpenGL"));
        none->setAlignment(Qt::AlignCenter);
        none->setWordWrap(true);
        split->addWidget(none);
    }
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({260, 700});
    layout->addWidget(split, 1);

    m_pStatus = new QLabel(this);
    m_pStatus->setObjectName(QStringLiteral("ViewerStatus"));
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pStatus->setWordWrap(true);
    layout->addWidget(m_pStatus);
}

void CViewerPanel::Clear()
{
    SetPlaying(false);
    m_pView->SetScene(nullptr, nullptr);
    m_pView->Settings().pItemVisible.clear();
    Destroy(m_scene);
    m_list = SDrawList();
    m_frame = SDrawFrame();
    m_allFrames = SBox();
    m_bLoaded = false;
    m_bError = false;
    m_lookThrough = -1;
    m_path.clear();
    FillTree();
    UpdateStatus();
}

bool CViewerPanel::OpenFile(const QString& path)
{
    Clear();
    m_path = path;
    std::string error;
    if (!LoadDrawList(path.toStdString(), m_scene, m_list, &error)) {
        m_bError = true;
        m_pStatus->setText(
            QStringLiteral("Cannot show %1: %2").arg(QFileInfo(path).fileName(), QString::fromStdString(error)));
        m_pStatus->setStyleSheet(QStringLiteral("color: #c0392b;"));
        emit fileShown(path, false, StatusText());
        return false;
    }
    m_bLoaded = true;
    m_allFrames = AnimationBounds(m_scene, m_list);
    Evaluate(0);
    m_pView->SetScene(&m_list, &m_frame);
    // A pleasant first view: a little from above and to the side.
    m_pView->Camera().fYaw = 0.5f;
    m_pView->Camera().fPitch = 0.4f;
    FrameAll();
    FillTree();
    UpdateStatus();
    emit fileShown(path, true, StatusText());
    return true;
}

void CViewerPanel::Evaluate(float frame)
{
    EvaluateFrame(m_scene, m_list, frame, m_frame);
    if (m_lookThrough >= 0)
        UpdateFixedCamera();
    m_pView->FrameChanged();
    const uint32_t frames = m_list.uiFrameCount;
    m_pFrameLabel->setText(
        frames
            ? QStringLiteral("frame %1 / %2, %3 fps").arg(int(m_frame.fFrame)).arg(frames).arg(m_list.uiFramesPerSecond)
            : QStringLiteral("no animation"));
}

void CViewerPanel::SetFrame(float frame)
{
    if (!m_bLoaded)
        return;
    Evaluate(frame);
    const QSignalBlocker block(m_pSlider);
    m_pSlider->setValue(int(m_frame.fFrame));
}

bool CViewerPanel::IsPlaying() const
{
    return m_pTimer->isActive();
}

void CViewerPanel::SetPlaying(bool play)
{
    play = play && m_bLoaded && m_list.uiFrameCount > 1;
    if (play && !IsPlaying()) {
        m_playStart = m_frame.fFrame;
        m_pClock->start();
        m_pTimer->start(std::max(10, int(1000 / std::max(1u, m_list.uiFramesPerSecond))));
    } else if (!play) {
        m_pTimer->stop();
    }
    const QSignalBlocker block(m_pPlay);
    m_pPlay->setChecked(play);
    m_pPlay->setText(play ? QStringLiteral("Pause") : QStringLiteral("Play"));
}

void CViewerPanel::OnTick()
{
    const double frames = m_list.uiFrameCount;
    const double at = m_playStart + m_pClock->elapsed() / 1000.0 * m_list.uiFramesPerSecond;
    SetFrame(float(std::fmod(at, frames - 1)));
}

SBox CViewerPanel::ItemsBelow(int node) const
{
    SBox box;
    for (size_t i = 0; i < m_list.pItems.size(); ++i) {
        // Is the item's node the node or below it? Parents are loop-free.
        bool below = node < 0;
        for (int32_t at = int32_t(m_list.pItems[i].uiNode); !below && at >= 0; at = m_list.pNodes[size_t(at)].nParent)
            below = at == node;
        if (below)
            ItemBounds(m_list, m_frame, i, box);
    }
    return box;
}

void CViewerPanel::FrameAll()
{
    LookThrough(-1);
    // The whole animation, so playback stays in view.
    SBox box = m_allFrames;
    if (!box.bAny) {
        const float unit[2][3] = {{-1, -1, -1}, {1, 1, 1}};
        box.Add(unit[0]);
        box.Add(unit[1]);
    }
    FrameBox(m_pView->Camera(), box.fMin, box.fMax);
    m_pView->update();
}

void CViewerPanel::FrameNode(int node)
{
    if (node < 0 || size_t(node) >= m_list.pNodes.size())
        return;
    LookThrough(-1);
    SBox box = ItemsBelow(node);
    if (!box.bAny) {
        // Nothing drawn below it: a small box round where the node is.
        const SBox all = ItemsBelow(-1);
        const float* a = all.fMin;
        const float* b = all.fMax;
        const float r = all.bAny ? 0.1f * std::max({b[0] - a[0], b[1] - a[1], b[2] - a[2]}) + 1e-3f : 0.5f;
        const SMatrix44& world = m_frame.pmWorld[size_t(node)];
        const float lo[3] = {world[12] - r, world[13] - r, world[14] - r};
        const float hi[3] = {world[12] + r, world[13] + r, world[14] + r};
        box.Add(lo);
        box.Add(hi);
    }
    FrameBox(m_pView->Camera(), box.fMin, box.fMax);
    m_pView->update();
}

void CViewerPanel::LookThrough(int camera)
{
    m_lookThrough = camera >= 0 && size_t(camera) < m_list.pCameras.size() ? camera : -1;
    {
        const QSignalBlocker block(m_pCameras);
        m_pCameras->setCurrentIndex(m_lookThrough + 1);
    }
    if (m_lookThrough < 0)
        m_pView->Camera().bFixed = false;
    else
        UpdateFixedCamera();
    m_pView->update();
}

void CViewerPanel::UpdateFixedCamera()
{
    LookThroughCamera(m_pView->Camera(), m_scene, m_list, m_frame, size_t(m_lookThrough));
}

void CViewerPanel::FillTree()
{
    const QSignalBlocker block(m_pTree);
    m_pTree->clear();
    m_pCameras->clear();
    m_pCameras->addItem(QStringLiteral("Orbit camera"));
    m_pSlider->setRange(0, m_list.uiFrameCount > 1 ? int(m_list.uiFrameCount - 1) : 0);
    m_pSlider->setEnabled(m_list.uiFrameCount > 1);
    m_pPlay->setEnabled(m_list.uiFrameCount > 1);
    if (!m_bLoaded)
        return;
    for (size_t i = 0; i < m_list.pCameras.size(); ++i) {
        const std::string& name = m_list.pNodes[m_list.pCameras[i].uiNode].sName;
        m_pCameras->addItem(QStringLiteral("Camera %1%2")
                                .arg(i)
                                .arg(name.empty()
                                         ? QString()
                                         : QStringLiteral(" (") + QString::fromStdString(name) + QStringLiteral(")")));
    }

    std::vector<int> itemOfNode(m_list.pNodes.size(), -1);
    for (size_t i = 0; i < m_list.pItems.size(); ++i)
        itemOfNode[m_list.pItems[i].uiNode] = int(i);
    std::vector<QTreeWidgetItem*> rows(m_list.pNodes.size(), nullptr);
    for (size_t i = 0; i < m_list.pNodes.size(); ++i) {
        const SDrawNode& node = m_list.pNodes[i];
        QTreeWidgetItem* row = new QTreeWidgetItem;
        rows[i] = row;
        row->setText(0, node.sName.empty() ? QStringLiteral("node %1").arg(i) : QString::fromStdString(node.sName));
        row->setToolTip(0, row->text(0));
        row->setText(1, QString::fromLatin1(KindName(node.eKind)));
        row->setData(0, kNodeRole, int(i));
        QString contents;
        if (node.eKind == eNodeMesh && itemOfNode[i] >= 0) {
            const SDrawItem& item = m_list.pItems[size_t(itemOfNode[i])];
            const SDrawMesh& mesh = m_list.pMeshes[item.uiMesh];
            contents =
                QStringLiteral("%1 triangles, %2 vertices").arg(Count(mesh.TriangleCount()), Count(mesh.uiVertexCount));
            if (mesh.IsSkinned())
                contents += QStringLiteral(", skinned, %1 batches").arg(mesh.uiBatchCount);
            if (item.nMaterial >= 0)
                contents += QStringLiteral(", material ") +
                            QString::fromStdString(m_list.pMaterials[size_t(item.nMaterial)].sName);
            row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
            row->setCheckState(0, Qt::Checked);
        } else if (node.eKind == eNodeMesh) {
            contents = QStringLiteral("no drawable mesh");
        } else if (node.eKind == eNodeLight) {
            for (const SDrawLight& light : m_list.pLights)
                if (light.uiNode == i)
                    contents = QString::fromLatin1(light.eType == 1   ? "directional"
                                                   : light.eType == 2 ? "spot"
                                                                      : "point");
        } else if (node.eKind == eNodeCamera) {
            for (const SDrawCamera& camera : m_list.pCameras)
                if (camera.uiNode == i)
                    contents =
                        QStringLiteral("%1\u00b0 field of view").arg(double(camera.fFieldOfView) * 57.29578, 0, 'f', 1);
        }
        row->setText(2, contents);
        row->setToolTip(2, contents);
    }
    QList<QTreeWidgetItem*> roots;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int32_t parent = m_list.pNodes[i].nParent;
        if (parent >= 0)
            rows[size_t(parent)]->addChild(rows[i]);
        else
            roots.append(rows[i]);
    }
    m_pTree->addTopLevelItems(roots);
    // Small trees open whole; big ones one level.
    if (rows.size() <= 200)
        m_pTree->expandAll();
    else
        m_pTree->expandToDepth(0);
    FitNameColumn();
}

bool CViewerPanel::eventFilter(QObject* watched, QEvent* event)
{
    // After the tree has laid out its rows at the new size.
    if (watched == m_pTree && event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, &CViewerPanel::FitNameColumn);
    return QWidget::eventFilter(watched, event);
}

void CViewerPanel::FitNameColumn()
{
    m_pTree->resizeColumnToContents(0);
    const int width = m_pTree->viewport()->width();
    const int limit = width >= 160 ? width / 2 : 200;
    if (m_pTree->columnWidth(0) > limit)
        m_pTree->setColumnWidth(0, limit);
}

void CViewerPanel::OnItemChanged(QTreeWidgetItem* row, int column)
{
    if (column != 0 || !(row->flags() & Qt::ItemIsUserCheckable))
        return;
    const int node = row->data(0, kNodeRole).toInt();
    std::vector<uint8_t>& visible = m_pView->Settings().pItemVisible;
    visible.resize(m_list.pItems.size(), 1);
    for (size_t i = 0; i < m_list.pItems.size(); ++i)
        if (int(m_list.pItems[i].uiNode) == node)
            visible[i] = row->checkState(0) == Qt::Checked;
    UpdateStatus();
    m_pView->update();
}

QString CViewerPanel::StatusText() const
{
    return m_pStatus->text();
}

void CViewerPanel::UpdateStatus()
{
    m_pStatus->setStyleSheet(QString());
    if (!m_bLoaded) {
        m_pStatus->setText(QStringLiteral("No scene: open a .qef file or drop one here."));
        return;
    }
    const SRenderStats stats = CountVisible(m_list, m_pView->Settings().pItemVisible);
    QStringList parts;
    parts << Plural(stats.uiTriangles, "triangle") << Plural(stats.uiVertices, "vertex", "vertices")
          << Plural(stats.uiDrawCalls, "draw call");
    if (stats.uiInvisibleTriangles)
        parts << QStringLiteral("%1 invisible (fully transparent material)").arg(Count(stats.uiInvisibleTriangles));
    parts << (m_list.uiFrameCount
                  ? QStringLiteral("%1 frames at %2 fps").arg(m_list.uiFrameCount).arg(m_list.uiFramesPerSecond)
                  : QStringLiteral("no animation"));
    // Cache misses mean nothing without triangles.
    if (stats.uiTriangles)
        parts << QStringLiteral("ACMR %1").arg(double(stats.fAcmr), 0, 'f', 3);
    parts << QFileInfo(m_path).fileName();
    m_pStatus->setText(parts.join(QStringLiteral(" \u00b7 ")));
}
