// TCEdit: a single-line edit box whose horizontal alignment is a property;
// IconToolButton: the tool buttons of the window's bars.
#pragma once

#include <QLineEdit>
#include <QStyle>

class QToolButton;

namespace varnetta::app {

enum TAlignment : int
{
    taLeftJustify = 0,
    taRightJustify = 1,
    taCenter = 2
};

class TCEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(int Alignment READ Alignment WRITE setAlignmentProperty)
public:
    explicit TCEdit(QWidget* parent = nullptr);

    [[nodiscard]] TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment value);

    // How often the alignment style was applied (CreateParams); a repeated
    // value applies nothing.
    [[nodiscard]] int styleApplications() const { return m_styleApplications; }

    // The side the text stands on for an alignment under a reading order:
    // right-to-left swaps left and right, centre stays.
    [[nodiscard]] static Qt::Alignment visualAlignment(TAlignment alignment, Qt::LayoutDirection direction);

protected:
    void changeEvent(QEvent* event) override;

private:
    void setAlignmentProperty(int value) { SetAlignment(TAlignment(value)); }
    void CreateParams();

    TAlignment m_alignment = taLeftJustify;
    int m_styleApplications = 0;
};

// A tool button with the style's standard icon; the hint is its tool tip
// and its accessible name. The caller places it.
[[nodiscard]] QToolButton* IconToolButton(QWidget* parent, const char* name, const QString& hint,
                                          QStyle::StandardPixmap icon);

} // namespace varnetta::app
