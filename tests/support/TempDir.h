#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

#include "image/FlashImage.h"

#ifdef QT_CORE_LIB
#include <QString>
#endif

namespace velmo::testing {

// A fresh directory under the system's temp folder, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_path.empty() && !error; ++attempt) {
            const std::filesystem::path candidate =
                base / ("velmo-test-" + std::to_string(random() % 1000000000));
            if (std::filesystem::create_directory(candidate, error)) {
                // Ours alone, as a folder from mkdtemp would be.
                std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, error);
                m_path = candidate.string();
            }
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }

    bool Valid() const { return !m_path.empty(); }
    const std::string& Root() const { return m_path; }
#ifdef QT_CORE_LIB
    QString QRoot() const {
        return QString::fromStdString(m_path);
    }
    QString QPath(const QString& name) const {
        return QRoot() + QLatin1Char('/') + name;
    }
#endif
    std::string Path(const std::string& name) const {
        return m_path + "/" + name;
    }

    // Writes bytes exactly as given (binary) and returns the file's full path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = Path(name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string WriteImage(const std::string& name, const FlashImage& image) const {
        return Write(name, std::string(image.begin(), image.end()));
    }

  private:
    std::string m_path;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace velmo::testing
