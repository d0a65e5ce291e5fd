#include "app/thumbnails.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <stdexcept>
#include <utility>

#include <QListView>
#include <QMetaObject>
#include <QPainter>

#include "app/image_view.h"
#include "app/modal_dialogs.h"
#include "container/kinds.h"
#include "core/context.h"
#include "image/image_buffer.h"
#include "io/file_pool.h"
#include "core/window.h"

namespace Brimwork {
namespace {

// Requests beyond these, the oldest, are dropped: they were for pictures
// scrolled out of sight before the decoder reached them.
constexpr size_t MostWaiting = 256;
constexpr int CacheKilobytes = 64 * 1024;
constexpr QSize GridCell(ThumbnailBox + 14, ThumbnailBox + 24);

}  // namespace

QImage ThumbnailOf(const QImage& picture)
{
    if (picture.isNull())
        return {};
    const int width = picture.width(), height = picture.height();
    if (width <= ThumbnailBox && height <= ThumbnailBox) {
        const int step = std::min(ThumbnailBox / width, ThumbnailBox / height);
        return step > 1 ? picture.scaled(width * step, height * step, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                        : picture;
    }
    return picture.scaled(ThumbnailBox, ThumbnailBox, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// ---- Decoder ---------------------------------------------------------------

// A thread of the shared FilePool for as long as the decoder lives, with a
// queue of its own rather than a FileWork or an InOrderReader: those run
// their work in the order it was given and report failures in that order,
// while the decoder serves the view's newest requests first, drops the
// stale ones, and reports each failure as a thumbnail of its own.

ThumbnailDecoder::ThumbnailDecoder(FileSystem& files, std::function<void(Result)> deliver)
    : files_(files), deliver_(std::move(deliver))
{
    FilePool::Shared().Start([this] {
        Run();
        // Told under the lock, after which this object is not touched: the
        // destructor may then end it.
        const std::lock_guard lock(mutex_);
        finished_ = true;
        wake_.notify_all();
    });
}

ThumbnailDecoder::~ThumbnailDecoder()
{
    std::unique_lock lock(mutex_);
    stop_ = true;
    wake_.notify_all();
    wake_.wait(lock, [&] { return finished_; });
}

void ThumbnailDecoder::SetEntry(int generation, const std::filesystem::path& container, int32_t entryIndex)
{
    const std::lock_guard lock(mutex_);
    generation_ = generation;
    container_ = container;
    entryIndex_ = entryIndex;
    images_.reset();
    wanted_.clear();
}

void ThumbnailDecoder::SetImages(int generation, const std::filesystem::path& container, EntryKind kind,
                                 std::vector<DocumentImage> images)
{
    auto shared = std::make_shared<const std::vector<DocumentImage>>(std::move(images));
    const std::lock_guard lock(mutex_);
    generation_ = generation;
    container_ = container;
    entryIndex_ = -1;
    images_ = std::move(shared);
    imagesKind_ = kind;
    wanted_.clear();
}

void ThumbnailDecoder::Request(int generation, int32_t imageIndex)
{
    {
        const std::lock_guard lock(mutex_);
        if (generation != generation_)
            return;
        if (auto found = std::find(wanted_.begin(), wanted_.end(), imageIndex); found != wanted_.end())
            wanted_.erase(found);
        wanted_.push_front(imageIndex);
        if (wanted_.size() > MostWaiting)
            wanted_.pop_back();
    }
    wake_.notify_one();
}

size_t ThumbnailDecoder::Waiting()
{
    const std::lock_guard lock(mutex_);
    return wanted_.size();
}

void ThumbnailDecoder::Run()
{
    SilentWindow window;
    std::unique_ptr<ContainerKind> kind;
    ChosenContainer chosen;
    std::filesystem::path folder;
    ImageBuffer image;
    int kindGeneration = -1;
    for (;;) {
        Result result;
        std::filesystem::path container;
        int32_t entryIndex = 0;
        std::shared_ptr<const std::vector<DocumentImage>> images;
        EntryKind imagesKind = EntryKind::Gadget;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || !wanted_.empty(); });
            if (stop_)
                return;
            result.imageIndex = wanted_.front();
            wanted_.pop_front();
            result.generation = generation_;
            container = container_;
            entryIndex = entryIndex_;
            images = images_;
            imagesKind = imagesKind_;
        }
        try {
            // A kind object of its own for each entry shown, so that the
            // file is taken as it is now.
            if (result.generation != kindGeneration) {
                kind = KindForFile(files_, container);
                chosen = ChosenContainer{container, container.filename().string()};
                folder = container.parent_path();
                kindGeneration = result.generation;
            }
            if (images) {
                const auto index = static_cast<size_t>(result.imageIndex);
                if (index >= images->size())
                    throw std::out_of_range("The entry holds no such image.");
                image = PaddedCopy(kind->LoadModelImage(imagesKind, (*images)[index]));
            } else {
                ModuleContext context{image, chosen, folder, window, files_};
                kind->LoadImage(context, entryIndex, result.imageIndex);
            }
            const DisplayPicture picture = MakeDisplayPicture(image);
            if (!picture.rows.isNull())
                result.thumbnail = ThumbnailOf(picture.rows.convertToFormat(QImage::Format_RGB32));
        } catch (const std::exception& error) {
            result.failure = MessageText(error.what());
            if (result.failure.isEmpty())
                result.failure = QStringLiteral("The image could not be read.");
        }
        deliver_(std::move(result));
    }
}

// ---- Model -----------------------------------------------------------------

ThumbnailModel::ThumbnailModel(FileSystem& files, QObject* parent)
    : QAbstractListModel(parent)
    , decoder_(files,
               [this](ThumbnailDecoder::Result result) {
                   QMetaObject::invokeMethod(
                       this, [this, result = std::move(result)] { Arrive(result); }, Qt::QueuedConnection);
               })
    , pictures_(CacheKilobytes)
{
    placeholder_ = QPixmap(ThumbnailBox, ThumbnailBox);
    placeholder_.fill(Qt::transparent);
}

ThumbnailModel::~ThumbnailModel() = default;

void ThumbnailModel::SetEntry(const std::filesystem::path& container, int32_t entryIndex, int32_t count)
{
    beginResetModel();
    ++generation_;
    container_ = container;
    entryIndex_ = entryIndex;
    count_ = std::max(count, 0);
    decoded_ = 0;
    pictures_.clear();
    failures_.clear();
    decoder_.SetEntry(generation_, container_, entryIndex_);
    endResetModel();
}

void ThumbnailModel::SetImages(const std::filesystem::path& container, EntryKind kind,
                               std::vector<DocumentImage> images)
{
    beginResetModel();
    ++generation_;
    container_ = container;
    entryIndex_ = -1;
    count_ = static_cast<int32_t>(images.size());
    decoded_ = 0;
    pictures_.clear();
    failures_.clear();
    decoder_.SetImages(generation_, container_, kind, std::move(images));
    endResetModel();
}

void ThumbnailModel::Clear() { SetEntry({}, -1, 0); }

int ThumbnailModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count_; }

QVariant ThumbnailModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count_)
        return {};
    const int32_t row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return QStringLiteral("%1").arg(row, 2, 10, QLatin1Char('0'));
    case Qt::DecorationRole:
        if (const QPixmap* picture = pictures_.object(row))
            return *picture;
        if (!failures_.contains(row))
            const_cast<ThumbnailDecoder&>(decoder_).Request(generation_, row);
        return placeholder_;
    case Qt::ToolTipRole:
        return failures_.value(row);
    default:
        return {};
    }
}

bool ThumbnailModel::Holds(int32_t imageIndex) const { return pictures_.contains(imageIndex); }

void ThumbnailModel::Arrive(const ThumbnailDecoder::Result& result)
{
    if (result.generation != generation_ || result.imageIndex >= count_)
        return;
    if (!result.failure.isEmpty()) {
        failures_.insert(result.imageIndex, result.failure);
    } else {
        QPixmap picture = result.thumbnail.isNull() ? placeholder_ : QPixmap::fromImage(result.thumbnail);
        const int cost = std::max(1, picture.width() * picture.height() * 4 / 1024);
        pictures_.insert(result.imageIndex, new QPixmap(std::move(picture)), cost);
        ++decoded_;
    }
    const QModelIndex changed = index(result.imageIndex);
    Q_EMIT dataChanged(changed, changed, {Qt::DecorationRole, Qt::ToolTipRole});
    Q_EMIT ThumbnailArrived(result.imageIndex);
}

// ---- Panel -----------------------------------------------------------------

ThumbnailPanel::ThumbnailPanel(FileSystem& files, QWidget* parent)
    : QDockWidget(QStringLiteral("Thumbnails"), parent)
{
    setObjectName(QStringLiteral("Thumbnails"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    model_ = new ThumbnailModel(files, this);
    view_ = new QListView(this);
    view_->setObjectName(QStringLiteral("ThumbnailList"));
    view_->setViewMode(QListView::IconMode);
    view_->setMovement(QListView::Static);
    view_->setResizeMode(QListView::Adjust);
    view_->setWrapping(true);
    view_->setUniformItemSizes(true);
    view_->setIconSize(QSize(ThumbnailBox, ThumbnailBox));
    view_->setGridSize(GridCell);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setModel(model_);
    view_->setMinimumWidth(3 * GridCell.width() + view_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
    setWidget(view_);
    connect(view_, &QListView::clicked, this, [this](const QModelIndex& index) { Q_EMIT ImageClicked(index.row()); });
}

void ThumbnailPanel::SetEntry(const std::filesystem::path& container, int32_t entryIndex, int32_t count)
{
    model_->SetEntry(container, entryIndex, count);
}

void ThumbnailPanel::SetImages(const std::filesystem::path& container, EntryKind kind,
                               std::vector<DocumentImage> images)
{
    model_->SetImages(container, kind, std::move(images));
}

void ThumbnailPanel::Clear() { model_->Clear(); }

void ThumbnailPanel::SetCurrent(int32_t imageIndex)
{
    const QModelIndex index = model_->index(imageIndex);
    if (!index.isValid())
        return;
    view_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    view_->scrollTo(index);
}

}  // namespace Brimwork
