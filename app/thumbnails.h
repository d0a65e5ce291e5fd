#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QAbstractListModel>
#include <QCache>
#include <QDockWidget>
#include <QHash>
#include <QImage>
#include <QPixmap>

#include "core/document_model.h"

class QListView;

namespace Brimwork {

class FileSystem;

// The box a thumbnail is scaled into, in pixels.
inline constexpr int ThumbnailBox = 64;

// A picture scaled into the thumbnail box: a smaller one enlarged by the
// largest whole step that fits (nearest neighbour), a larger one scaled
// down smoothly, both keeping their proportions.
QImage ThumbnailOf(const QImage& picture);

// Decodes the images of one entry into thumbnails on a thread of the
// shared FilePool, held for as long as the decoder lives.
// The thread has its own kind object over the container: its own file
// handles, image buffer and vehicle frame index, so nothing is shared with
// the window's. Requests are served newest first, and only the newest few are
// kept, so that what was scrolled past is not decoded. Each result is
// handed to `deliver` on the decoding thread.
class ThumbnailDecoder {
public:
    struct Result {
        int generation = 0;
        int32_t imageIndex = 0;
        QImage thumbnail;  // null when the image could not be read
        QString failure;
    };

    ThumbnailDecoder(FileSystem& files, std::function<void(Result)> deliver);
    ~ThumbnailDecoder();
    ThumbnailDecoder(const ThumbnailDecoder&) = delete;
    ThumbnailDecoder& operator=(const ThumbnailDecoder&) = delete;

    // The entry whose images are asked for from now on; requests of
    // earlier generations are dropped.
    void SetEntry(int generation, const std::filesystem::path& container, int32_t entryIndex);
    // The same for the images of an edited entry, as a document holds them:
    // unedited ones are read from their file, edited ones from memory.
    void SetImages(int generation, const std::filesystem::path& container, EntryKind kind,
                   std::vector<DocumentImage> images);
    void Request(int generation, int32_t imageIndex);

    // How many requests are waiting (for tests and the benchmark).
    size_t Waiting();

private:
    void Run();

    FileSystem& files_;
    std::function<void(Result)> deliver_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    int generation_ = 0;
    std::filesystem::path container_;
    int32_t entryIndex_ = -1;
    // Set for an edited entry: its images, shared with the decoding thread
    // and never changed once handed over.
    std::shared_ptr<const std::vector<DocumentImage>> images_;
    EntryKind imagesKind_ = EntryKind::Gadget;
    std::deque<int32_t> wanted_;
    bool finished_ = false;  // the decoding thread is done with this object
};

// The thumbnails of one entry for a list view: a number under each, the
// picture once decoded. Asking for a picture not yet decoded asks the
// decoder for it, so that only what a view paints is decoded. Decoded
// pictures are cached.
class ThumbnailModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ThumbnailModel(FileSystem& files, QObject* parent = nullptr);
    ~ThumbnailModel() override;

    // Shows the `count` images of an entry; an empty container shows none.
    void SetEntry(const std::filesystem::path& container, int32_t entryIndex, int32_t count);
    // Shows the images of an edited entry.
    void SetImages(const std::filesystem::path& container, EntryKind kind, std::vector<DocumentImage> images);
    void Clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Whether a thumbnail has been decoded and is held.
    bool Holds(int32_t imageIndex) const;
    int Decoded() const { return decoded_; }

Q_SIGNALS:
    void ThumbnailArrived(int imageIndex);

private:
    void Arrive(const ThumbnailDecoder::Result& result);

    ThumbnailDecoder decoder_;
    std::filesystem::path container_;
    int32_t entryIndex_ = -1;
    int32_t count_ = 0;
    int generation_ = 0;
    int decoded_ = 0;
    QCache<int32_t, QPixmap> pictures_;
    QHash<int32_t, QString> failures_;
    QPixmap placeholder_;
};

// The Thumbnails panel: every image of the selected entry in a grid.
class ThumbnailPanel : public QDockWidget {
    Q_OBJECT
public:
    ThumbnailPanel(FileSystem& files, QWidget* parent = nullptr);

    void SetEntry(const std::filesystem::path& container, int32_t entryIndex, int32_t count);
    void SetImages(const std::filesystem::path& container, EntryKind kind, std::vector<DocumentImage> images);
    void Clear();
    // Marks the image shown in the window.
    void SetCurrent(int32_t imageIndex);

    ThumbnailModel* Model() const { return model_; }
    QListView* View() const { return view_; }

Q_SIGNALS:
    void ImageClicked(int32_t imageIndex);

private:
    ThumbnailModel* model_ = nullptr;
    QListView* view_ = nullptr;
};

}  // namespace Brimwork
