#pragma once

#include "Color.h"
#include "ICustomDraw.h"
#include "ListTable.h"
#include "Scrollbars.h"
#include "WindowMessages.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QMimeData>
#include <QPixmap>
#include <QPointF>
#include <QTimer>
#include <cstdint>

namespace kardelo {

class PropertyBag;

// The owner-drawn list control of the drive list and the results log: a header of columns
// and one row per item, painted into an off-screen picture that is copied to the screen in
// one piece. Hosts use the table operations, the properties and the events below; the
// stored property set lives with the host window's layout (ReadProperties).
//
// Painting and layout live in ListView.cpp, mouse and keyboard in ListViewInput.cpp, the
// properties' stored form in ListViewProperties.cpp.
class ListView : public QAbstractScrollArea, public ICustomDraw, private ListTableView {
    Q_OBJECT

public:
    enum MouseStates : std::int16_t {
        Idle = 0,
        Resizing = 1,
        Selecting = 2,
        RowPressed = 3,
        HeaderPressed = 4
    };

    explicit ListView(QWidget* parent = nullptr);
    ~ListView() override;

    // ---- The table (columns, rows, current row) ----
    ListTable& Table() { return m_table; }
    const ListTable& Table() const { return m_table; }
    Column& AddColumn(const QString& key = {}, const QString& caption = {},
                      std::int32_t textAlign = 0, std::int32_t width = 300, bool resizable = true,
                      bool visible = true)
    {
        return m_table.AddColumn(key, caption, textAlign, width, resizable, visible);
    }
    std::int32_t AddItem(std::int32_t insertAt = -1, const QString& text = {},
                         std::int32_t pictureIndex = -1)
    {
        return m_table.AddItem(insertAt, text, pictureIndex);
    }
    std::int32_t ItemCount() const { return m_table.ItemCount(); }
    std::int32_t ColumnCount() const { return m_table.ColumnCount(); }
    QString ItemText(std::int32_t index, std::int32_t column) const
    {
        return m_table.ItemText(index, column);
    }
    void SetItemText(std::int32_t index, std::int32_t column, const QString& text)
    {
        m_table.SetItemText(index, column, text);
    }
    std::int32_t SelectedItem() const { return m_table.SelectedItem(); }
    void SetSelectedItem(std::int32_t position) { m_table.SetSelectedItem(position); }
    void Clear() { m_table.Clear(); }
    // Sorts by a column key; the host calls Refresh to show the new order.
    void Sort(const QString& key, std::int32_t sortOrder)
    {
        m_table.Sort(key, sortOrder);
        emit TableChanged();
    }

    // ---- Layout and painting ----
    std::int32_t ItemHeight() const;
    std::int32_t HeaderHeight() const { return m_headerHeight; }
    std::int32_t FontHeight() const { return m_fontHeight; }
    std::int32_t TotalWidth() const { return m_totalWidth; }
    std::int32_t VisibleRowCount() const;
    void Refresh();
    bool Redraw() const { return m_redraw; }
    void SetRedraw(bool redraw);
    std::int32_t PictureCount() const { return 0; }
    ICustomDraw* DrawCallback() const { return m_drawCallback; }
    void SetDrawCallback(ICustomDraw* callback);
    bool CustomDraw(std::int32_t ItemIndex, std::int32_t ColumnIndex, std::int32_t& BackColor,
                    std::int32_t& ForeColor) override;
    // The picture as it stands (the off-screen buffer's visible part), and how often it was
    // painted: tests and benchmarks read both.
    QPixmap Picture() const;
    int PaintCount() const { return m_paintCount; }
    WindowHandle Handle() const { return m_handle; }
    Scrollbars& ScrollBars() { return m_scrollbars; }

    // ---- Properties ----
    OleColor BackColor() const { return m_backColor.OLEColor(); }
    void setBackColor(OleColor color);
    OleColor ForeColor() const { return m_foreColor.OLEColor(); }
    void SetForeColor(OleColor color);
    OleColor SelectedBackColor() const { return m_selectedBackColor.OLEColor(); }
    void SetSelectedBackColor(OleColor color);
    OleColor SelectedForeColor() const { return m_selectedForeColor.OLEColor(); }
    void SetSelectedForeColor(OleColor color);
    OleColor FocusRectColor() const { return m_focusRectColor.OLEColor(); }
    void SetFocusRectColor(OleColor color);
    OleColor CheckboxColor() const { return m_checkboxColor.OLEColor(); }
    void SetCheckboxColor(OleColor color);
    OleColor CheckboxSelectedColor() const { return m_checkboxSelectedColor.OLEColor(); }
    void SetCheckboxSelectedColor(OleColor color);
    bool Reorder() const { return m_reorder; }
    void SetReorder(bool on) { m_reorder = on; }
    bool MultiSelect() const { return m_multiSelect; }
    void SetMultiSelect(bool on) { m_multiSelect = on; }
    bool ColumnsAutoSize() const { return m_columnsAutoSize; }
    void SetColumnsAutoSize(bool on);
    // The control's own enabled state: input other than the mouse release is ignored while it
    // is off, and the scroll bars follow it. (The widget itself stays enabled, so the release
    // still arrives.)
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on);
    std::int32_t BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(std::int32_t style);
    QFont Font() const { return m_font; }
    void SetFont(const QFont& font);
    bool ColumnsVisible() const { return m_columnsVisible; }
    void SetColumnsVisible(bool on);
    bool SolidFocusRect() const { return m_solidFocusRect; }
    void SetSolidFocusRect(bool on) { m_solidFocusRect = on; }
    std::int16_t OLEDropMode() const { return m_oleDropMode; }
    void SetOLEDropMode(std::int16_t mode);
    bool Checkboxes() const { return m_checkboxes; }
    void SetCheckboxes(bool on) { m_checkboxes = on; }
    std::int16_t ItemPaddingTop() const { return m_paddingTop; }
    void SetItemPaddingTop(std::int16_t pixels);
    std::int16_t ItemPaddingBottom() const { return m_paddingBottom; }
    void SetItemPaddingBottom(std::int16_t pixels);
    std::int16_t ItemPaddingLeft() const { return m_paddingLeft; }
    void SetItemPaddingLeft(std::int16_t pixels) { m_paddingLeft = pixels; }
    std::int16_t ItemPaddingRight() const { return m_paddingRight; }
    void SetItemPaddingRight(std::int16_t pixels) { m_paddingRight = pixels; }
    std::int16_t PictureWidth() const { return m_pictureWidth; }
    void SetPictureWidth(std::int16_t pixels) { m_pictureWidth = pixels; }
    std::int16_t PictureHeight() const { return m_pictureHeight; }
    void SetPictureHeight(std::int16_t pixels) { m_pictureHeight = pixels; }
    bool PicturesVisible() const { return m_picturesVisible; }
    void SetPicturesVisible(bool on);
    bool ItemsAutoSize() const { return m_itemsAutoSize; }
    void SetItemsAutoSize(bool on) { m_itemsAutoSize = on; }
    bool Sortable() const { return m_sortable; }
    void SetSortable(bool on) { m_sortable = on; }

    // ---- Stored property set (ListViewProperties.cpp) ----
    // A control newly placed on a host: the initial values through the setters.
    void InitProperties();
    // Loading from the stored set: every key in its order, a missing one giving its default.
    void ReadProperties(const PropertyBag& bag);
    // Every key in the same order; values equal to their default are left out.
    void WriteProperties(PropertyBag& bag) const;
    // Reads the set the host's layout file placed on this widget as dynamic properties; runs
    // by itself when the widget is first polished, unless it ran already.
    void LoadStoredProperties();

    // ---- Interaction (ListViewInput.cpp) ----
    std::int32_t ColumnFromPoint(float X, float y) const;
    std::int32_t RowFromPoint(float X, float y, bool HitTest = false) const;
    void MakeSureVisible(std::int32_t lngItem, std::int32_t lngColumn = -1);
    void SelectAll();
    void UnSelectAll();
    MouseStates MouseState() const { return m_mouseState; }

signals:
    // Rows, texts, their order, the selection or the columns may have changed through the
    // table or Sort (also while drawing is switched off). What the mouse and the keys change
    // is told by their own events.
    void TableChanged();
    void ItemsMoved();
    void DblClick(std::int32_t ItemIndex);
    void Click(std::int32_t ItemIndex);
    void ColumnClick(std::int32_t ColumnIndex);
    void MouseDown(std::int32_t ItemIndex, std::int16_t MouseButton, std::int16_t Shift, float X,
                   float y);
    void MouseUp(std::int32_t ItemIndex, std::int16_t MouseButton, std::int16_t Shift, float X,
                 float y);
    void KeyDown(std::int16_t& KeyCode, std::int16_t& Shift);
    void KeyUp(std::int16_t KeyCode, std::int16_t Shift);
    void KeyPress(std::int16_t& KeyAscii);
    void ItemCheck(std::int32_t ItemIndex);
    void OLEDragDrop(const QMimeData* Data, std::int32_t& Effect, std::int16_t MouseButton,
                     std::int16_t Shift, float X, float y);
    void OLEDragOver(const QMimeData* Data, std::int32_t& Effect, std::int16_t Button,
                     std::int16_t Shift, float X, float y, std::int32_t state);
    void OLECompleteDrag(std::int32_t& Effect);
    void OLEGiveFeedback(std::int32_t& Effect, bool& DefaultCursors);
    void OLESetData(const QMimeData* Data, std::int16_t& DataFormat);
    void OLEStartDrag(const QMimeData* Data, std::int32_t& AllowedEffects);

protected:
    // Painting and layout.
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool event(QEvent* event) override;
    // Interaction (ListViewInput.cpp).
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // ListTableView: how the table asks for repaints.
    void redraw() override
    {
        DrawControl();
        emit TableChanged();
    }
    void refresh() override
    {
        Refresh();
        emit TableChanged();
    }
    void updateVerticalScrollRange() override;

    // Painting (ListView.cpp).
    void ApplyFont();
    void CalculateLayout();
    void CreateBackBuffer();
    void DrawControl();
    void DrawHeader(QPainter& painter);
    void DrawRows(QPainter& painter);
    void DrawCheckbox(QPainter& painter, const QRect& cell, bool selected, bool checked);
    std::int32_t columnWidth(const Column& column) const;
    std::int32_t horizontalOffset() const;
    void setColor(Color& color, OleColor value, bool brush, bool pen);

    // Interaction (ListViewInput.cpp).
    void onMoveTimer();
    void handleMouseMove(std::int16_t button, std::int16_t shift, float X, float y);
    static std::int16_t shiftState(Qt::KeyboardModifiers modifiers);

    ListTable m_table{this};
    Scrollbars m_scrollbars;
    WindowHandle m_handle = NoWindow;

    Color m_backColor, m_foreColor, m_selectedBackColor, m_selectedForeColor, m_focusRectColor,
        m_checkboxColor, m_checkboxSelectedColor, m_customBackColor, m_customForeColor;
    QFont m_font;
    QFont m_gdiFont; // m_font at FontHeight pixels, as painting uses it
    ICustomDraw* m_drawCallback = this;

    bool m_reorder = true, m_multiSelect = true, m_columnsAutoSize = false, m_enabled = true,
         m_columnsVisible = true, m_solidFocusRect = true, m_checkboxes = false,
         m_picturesVisible = true, m_itemsAutoSize = true, m_sortable = true, m_redraw = true;
    std::int32_t m_borderStyle = 1;
    std::int16_t m_oleDropMode = 0;
    std::int16_t m_paddingTop = 4, m_paddingBottom = 4, m_paddingLeft = 4, m_paddingRight = 5,
                 m_pictureWidth = 16, m_pictureHeight = 16;
    bool m_propertiesLoaded = false;

    // Layout state.
    std::int32_t m_fontHeight = 0;
    std::int32_t m_totalWidth = 0;
    std::int32_t m_headerWidth = 0;
    std::int32_t m_headerHeight = 0;
    QRect m_listRect;
    QPixmap m_backBuffer;
    bool m_bufferPainted = false; // the buffer holds the current picture
    bool m_hasFocus = false;
    bool m_drawing = false;
    bool m_repaintRequested = false; // while drawing: something changed, draw once more
    bool m_layoutRequested = false;  // while drawing: lay out once the painter is done
    bool m_inPaintEvent = false;
    int m_paintCount = 0;

    // Interaction state.
    MouseStates m_mouseState = Idle;
    std::int32_t m_resizeColumn = -1;
    bool m_deselectMode = false;
    bool m_rowsMoved = false;
    std::int32_t m_anchorItem = -1;
    QTimer m_moveTimer;
    Qt::CursorShape m_cursor = Qt::ArrowCursor;
};

} // namespace kardelo
