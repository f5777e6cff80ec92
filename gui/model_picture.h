// The picture of the connected controller's hardware model: a drawn outline of the device
// (operator panel, bare board or dispenser cabinet) with the panel name beneath it.
#pragma once

#include <QWidget>

namespace tarmix::gui {

class ModelPicture : public QWidget {
  public:
    explicit ModelPicture(QWidget* parent = nullptr);

    // The hardware model code (1..18); 0 or an unknown code shows an empty outline.
    void setModel(int hardwareModel);
    int model() const { return model_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int model_ = 0;
};

}  // namespace tarmix::gui
