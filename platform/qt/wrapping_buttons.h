#pragma once
// Push and option buttons whose labels wrap inside their rectangles, as the templates' multi-line
// buttons do. The label stays the button's text(), so accessibility and tests see it.

#include <QPushButton>
#include <QRadioButton>

namespace veskator {

class WrappingPushButton final : public QPushButton {
    Q_OBJECT
  public:
    explicit WrappingPushButton(const QString& text, QWidget* parent = nullptr);

    // The label is drawn wrapped inside labelArea() with these flags, and clipped to it.
    static constexpr int kLabelFlags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    QRect labelArea() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A two-state option: a click always switches it on (the window's handler then shows the state
// it wants), and the whole rectangle, wrapped label included, takes the click.
class WrappingOptionButton final : public QRadioButton {
    Q_OBJECT
  public:
    explicit WrappingOptionButton(const QString& text, QWidget* parent = nullptr);

    // The label is drawn wrapped inside labelArea() with these flags, and clipped to it.
    static constexpr int kLabelFlags =
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    QRect labelArea() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void nextCheckState() override;

  private:
    QRect indicatorRect() const;
};

}  // namespace veskator
