#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace nimbra {

// The "Graphics" page: the preview box (Image1, inside a fixed 297 x 225 box whose top-left
// corner is at 216, 24 of the page), the labels of the last saved file, the statistics labels,
// the "Full Screen" and "Delete" buttons under the box and "Gallery" left of them. Controls are
// placed at fixed positions because the preview code positions the picture inside the box in
// page coordinates.
class GraphicsPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int BoxLeft = 216;
    static constexpr int BoxTop = 24;
    static constexpr int BoxWidth = 297;
    static constexpr int BoxHeight = 225;

    explicit GraphicsPage(QWidget* parent = nullptr);

    // The picture; it starts as the whole box and is stretched to whatever geometry it gets.
    QLabel* image() const { return image_; }           // Image1
    QLabel* nameLabel() const { return name_; }        // Label6
    QLabel* sizeLabel() const { return size_; }        // Label5
    QLabel* widthLabel() const { return width_; }      // Label4
    QLabel* heightLabel() const { return height_; }    // Label3
    QLabel* todayFilesLabel() const { return todayFiles_; }
    QLabel* todayKBLabel() const { return todayKB_; }
    QLabel* totalFilesLabel() const { return totalFiles_; }
    QLabel* totalKBLabel() const { return totalKB_; }
    QPushButton* fullScreenButton() const { return fullScreen_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* galleryButton() const { return gallery_; }

private:
    QLabel* value(int left, int top, int width);

    QLabel* image_;
    QLabel* name_;
    QLabel* size_;
    QLabel* width_;
    QLabel* height_;
    QLabel* todayFiles_;
    QLabel* todayKB_;
    QLabel* totalFiles_;
    QLabel* totalKB_;
    QPushButton* fullScreen_;
    QPushButton* delete_;
    QPushButton* gallery_;
};

} // namespace nimbra
