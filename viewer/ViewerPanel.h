#pragma once
// The scene viewer as one widget: a tool bar (frame all, wireframe, normals,
// bounding boxes, headlight, the file's cameras, play/pause, frame slider), the
// node tree beside the 3D view, and a status line with the counts of what is
// drawn or the reader's message for a file that cannot be read. Used by
// meshwright-view and by the window's Preview page.
#include <QString>
#include <QWidget>

#include "scene/Scene.h"
#include "viewer/DrawList.h"

class CSceneView;
class QAction;
class QComboBox;
class QElapsedTimer;
class QLabel;
class QSlider;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

class CViewerPanel : public QWidget {
    Q_OBJECT
public:
    explicit CViewerPanel(QWidget* parent = nullptr);
    ~CViewerPanel() override;

    // Reads the file and shows it framed whole at frame 0. On failure the
    // view is emptied and the status line gives the reader's message.
    bool OpenFile(const QString& path);
    void Clear();

    const QString& FilePath() const { return m_path; }
    bool HasScene() const { return m_bLoaded; }
    QString StatusText() const;
    bool StatusIsError() const { return m_bError; }
    const SDrawList& List() const { return m_list; }
    const SDrawFrame& Frame() const { return m_frame; }
    CSceneView* View() const { return m_pView; }
    QTreeWidget* Tree() const { return m_pTree; }
    QSlider* FrameSlider() const { return m_pSlider; }
    QComboBox* CameraList() const { return m_pCameras; }
    bool IsPlaying() const;

public slots:
    void SetFrame(float frame);
    void SetPlaying(bool play);
    void FrameAll();
    // Frames a node with everything below it.
    void FrameNode(int node);
    // -1: the orbit camera; otherwise the file's camera of that index.
    void LookThrough(int camera);

signals:
    // After every OpenFile: the status line's text and whether it is an error.
    void fileShown(const QString& path, bool ok, const QString& status);

protected:
    // Keeps the node tree's name column fitted as the tree is resized.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildUI();
    void FillTree();
    void FitNameColumn();
    void UpdateStatus();
    void UpdateFixedCamera();
    void Evaluate(float frame);
    void OnTick();
    void OnItemChanged(QTreeWidgetItem* item, int column);
    SBox ItemsBelow(int node) const;

    SScene m_scene;
    SDrawList m_list;
    SDrawFrame m_frame;
    SBox m_allFrames; // every item over the whole animation
    QString m_path;
    bool m_bLoaded = false;
    bool m_bError = false;
    int m_lookThrough = -1;
    float m_playStart = 0;

    CSceneView* m_pView = nullptr;
    QTreeWidget* m_pTree = nullptr;
    QLabel* m_pStatus = nullptr;
    QLabel* m_pFrameLabel = nullptr;
    QSlider* m_pSlider = nullptr;
    QComboBox* m_pCameras = nullptr;
    QAction* m_pPlay = nullptr;
    QTimer* m_pTimer = nullptr;
    QElapsedTimer* m_pClock = nullptr;
};
