#pragma once
// Builds the exportable scene from an import scene and writes it.
#include <memory>
#include <string>

class COptionsData;
struct SImportScene;
struct SScene;

// The options a scene is processed and written with: the caller's, less what
// the document cannot give (a scene with nothing animated exports no
// animation, and the options text written with it says so).
COptionsData ExportOptions(const COptionsData& options, const SImportScene& scene);

class CSceneExporter {
public:
    CSceneExporter();
    ~CSceneExporter();
    CSceneExporter(const CSceneExporter&) = delete;
    CSceneExporter& operator=(const CSceneExporter&) = delete;

    // The output file of the running conversion (the default merge source).
    void SetOutputPath(const std::string& path) { m_outputPath = path; }
    const std::string& OutputPath() const { return m_outputPath; }

    // Processes with ExportOptions(options, scene).
    bool Process(const SImportScene& scene, const COptionsData& options);
    // The same on a scene the caller gives up: its mesh data is freed as the
    // meshes are built from it (the rest of it stays).
    bool Process(SImportScene&& scene, const COptionsData& options);
    // Writes the processed scene in the options' output format: a scene file,
    // or C source that embeds one. False (with a message) when nothing was
    // written.
    bool Write(const char* outputPath, const COptionsData& options, const char* versionString);

    // Hands the exporter a scene built elsewhere (tools, tests) to Write.
    void SetScene(std::unique_ptr<SScene> scene);

    SScene* Scene() { return m_pScene.get(); }
    const SScene* Scene() const { return m_pScene.get(); }

private:
    bool Process(const SImportScene& scene, const COptionsData& options, SImportScene* release);

    std::unique_ptr<SScene> m_pScene;
    std::string m_outputPath;
};
