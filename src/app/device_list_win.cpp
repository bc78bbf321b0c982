#include "app/device_list_win.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <utility>

#include "ui/subclass_win.h"

namespace norvane {

namespace {

constexpr std::uint32_t kAllColumns = (1u << kColumnCount) - 1;

constexpr std::array<const wchar_t*, kColumnCount> kColumnTitles = {
    L"Adres IP",     L"Adres MAC",          L"VENDOR",     L"Nazwa",
    L"Model / opis", L"Protok\u00F3\u0142", L"Informacje", L"Stan"};

// Position of each row in the new order, looked up by the list's sort
// callback through the item data.
struct SortRanks {
  std::vector<std::uint32_t> by_row;
};

int CALLBACK compare_items(LPARAM a, LPARAM b, LPARAM context) {
  const auto& ranks = reinterpret_cast<const SortRanks*>(context)->by_row;
  const auto rank = [&](LPARAM row) {
    return row >= 0 && static_cast<std::size_t>(row) < ranks.size()
               ? ranks[static_cast<std::size_t>(row)]
               : std::numeric_limits<std::uint32_t>::max();
  };
  const std::uint32_t ra = rank(a);
  const std::uint32_t rb = rank(b);
  return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

void set_sort_arrow(HWND header, int column, int arrow) {
  if (!header || column < 0) return;
  HDITEMW item{};
  item.mask = HDI_FORMAT;
  if (!SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(column),
                    reinterpret_cast<LPARAM>(&item))) {
    return;
  }
  item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
  item.fmt |= arrow;
  SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

// The list's own subclass id (subclass_win.h).
constexpr UINT_PTR kListSubclass = 1;

DeviceList::PaintHold::PaintHold(DeviceList& list) : list_(&list) { list.begin_hold(); }

DeviceList::PaintHold::~PaintHold() {
  if (list_) list_->end_hold();
}

DeviceList::PaintHold::PaintHold(PaintHold&& other) noexcept
    : list_(std::exchange(other.list_, nullptr)) {}

DeviceList::PaintHold& DeviceList::PaintHold::operator=(PaintHold&& other) noexcept {
  if (this != &other) {
    if (list_) list_->end_hold();
    list_ = std::exchange(other.list_, nullptr);
  }
  return *this;
}

DeviceList::DeviceList(DeviceTable& table, ListCommands::Warn warn)
    : table_(table),
      commands_(
          table, [this] { return shown_rows(); }, std::move(warn)) {}

DeviceList::~DeviceList() {
  if (list_) remove_subclass(list_, &DeviceList::list_proc, kListSubclass);
  drop_held_region();
}

void DeviceList::drop_held_region() {
  if (held_region_) DeleteObject(held_region_);
  held_region_ = nullptr;
}

LRESULT CALLBACK DeviceList::list_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                       DWORD_PTR ref) {
  auto* self = reinterpret_cast<DeviceList*>(ref);
  if (msg == WM_NOTIFY && lparam) {
    const auto& nm = *reinterpret_cast<const NMHDR*>(lparam);
    LRESULT result = 0;
    if (nm.hwndFrom == self->header_ && self->on_header_notify(nm, result) && result != 0) {
      return result;  // a refused drag goes no further
    }
  }
  return def_subclass_proc(hwnd, msg, wparam, lparam);
}

void DeviceList::attach(HWND main, HWND list, const std::array<HWND, 7>& tabs) {
  if (list_ && list_ != list) remove_subclass(list_, &DeviceList::list_proc, kListSubclass);
  main_ = main;
  list_ = list;
  tabs_ = tabs;
  commands_.set_owner(main);
  header_ = list ? reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)) : nullptr;
  // The header reports to the list view, which does not pass every header
  // notification on to the main window (Wine's list view keeps width
  // changes made by messages to itself), so the list view is watched
  // directly.
  if (list) {
    set_subclass(list, &DeviceList::list_proc, kListSubclass, reinterpret_cast<DWORD_PTR>(this));
  } else {
    drop_held_region();
    held_quiet_ = false;
    held_ids_.clear();
  }
}

LRESULT DeviceList::send_list(UINT msg, WPARAM wparam, LPARAM lparam) {
  return held_ > 0 ? call_unsubclassed(list_, msg, wparam, lparam)
                   : SendMessageW(list_, msg, wparam, lparam);
}

std::uint32_t DeviceList::id_of_index(int index) {
  return static_cast<std::uint32_t>(send_list(LVM_MAPINDEXTOID, static_cast<WPARAM>(index), 0));
}

bool DeviceList::insert_columns() {
  for (int i = 0; i < kColumnCount; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = scale_px(120, dpi_);
    column.pszText = const_cast<wchar_t*>(kColumnTitles[static_cast<std::size_t>(i)]);
    column.iSubItem = i;
    if (SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&column)) != i) {
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Items

int DeviceList::find_item(std::uint32_t id) {
  if (id == ListItemLink::kNoItem) return -1;
  if (const auto hint = index_hints_.find(id); hint != index_hints_.end()) {
    const int index = hint->second;
    if (index >= 0 && static_cast<std::size_t>(index) < item_ids_.size() &&
        item_ids_[static_cast<std::size_t>(index)] == id) {
      return index;
    }
  }
  const auto found = std::find(item_ids_.begin(), item_ids_.end(), id);
  if (found == item_ids_.end()) {
    index_hints_.erase(id);
    return -1;
  }
  const int index = static_cast<int>(found - item_ids_.begin());
  index_hints_[id] = index;
  return index;
}

void DeviceList::refresh_index_hints() {
  index_hints_.clear();
  index_hints_.reserve(item_ids_.size());
  for (std::size_t i = 0; i < item_ids_.size(); ++i)
    index_hints_[item_ids_[i]] = static_cast<int>(i);
}

bool DeviceList::delete_item_at(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= item_ids_.size()) return false;
  if (!send_list(LVM_DELETEITEM, static_cast<WPARAM>(index), 0)) return false;
  index_hints_.erase(item_ids_[static_cast<std::size_t>(index)]);
  item_ids_.erase(item_ids_.begin() + index);
  item_rows_.erase(item_rows_.begin() + index);
  return true;
}

void DeviceList::check_items() {
  if (!list_) return;
  const int count = static_cast<int>(send_list(LVM_GETITEMCOUNT, 0, 0));
  if (count >= 0 && static_cast<std::size_t>(count) == item_ids_.size()) return;
  item_ids_.assign(static_cast<std::size_t>(std::max(count, 0)), ListItemLink::kNoItem);
  item_rows_.assign(item_ids_.size(), ListItemLink::kNoRow);
  for (int i = 0; i < count; ++i) {
    const auto k = static_cast<std::size_t>(i);
    item_ids_[k] = id_of_index(i);
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = i;
    if (send_list(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
      item_rows_[k] = static_cast<std::size_t>(item.lParam);
    }
  }
  refresh_index_hints();
}

void DeviceList::suspend_redraw() {
  if (redraw_suspended_++ == 0 && list_) SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
}

void DeviceList::resume_redraw() {
  if (redraw_suspended_ == 0) return;
  if (--redraw_suspended_ == 0 && list_) {
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }
}

void DeviceList::send_redraw(bool on) {
  // Straight to the list view, below every subclass: this switch is the
  // list's internal batching, not a repaint request of its own.
  call_unsubclassed(list_, WM_SETREDRAW, on ? TRUE : FALSE, 0);
}

void DeviceList::begin_hold() {
  if (held_++ != 0 || !list_) return;
  held_ids_.clear();
  held_reflow_ = false;
  GetClientRect(list_, &held_client_);
  if (!IsWindowVisible(list_)) return;  // nothing on screen to keep current
  drop_held_region();
  held_region_ = CreateRectRgn(0, 0, 0, 0);
  if (held_region_ && GetUpdateRgn(list_, held_region_, FALSE) <= NULLREGION) drop_held_region();
  send_redraw(false);
  held_quiet_ = true;
}

void DeviceList::end_hold() {
  if (held_ == 0 || --held_ != 0 || !list_) return;
  if (!held_quiet_) {
    held_ids_.clear();
    return;
  }
  held_quiet_ = false;
  // Repaints requested meanwhile (by the theme's repaint rules) survive the
  // list view's own invalidation of everything when redrawing comes back.
  HRGN during = CreateRectRgn(0, 0, 0, 0);
  if (during && GetUpdateRgn(list_, during, FALSE) <= NULLREGION) {
    DeleteObject(during);
    during = nullptr;
  }
  send_redraw(true);
  ValidateRect(list_, nullptr);
  if (held_region_) InvalidateRgn(list_, held_region_, TRUE);
  drop_held_region();
  if (during) {
    InvalidateRgn(list_, during, FALSE);
    DeleteObject(during);
  }
  RECT client{};
  GetClientRect(list_, &client);
  if (held_reflow_ || !EqualRect(&client, &held_client_)) {
    // Items moved (sorted or deleted) or a scroll bar came or went.
    RedrawWindow(list_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    held_ids_.clear();
    return;
  }
  // The rows on screen whose cells changed, without erasing.
  const int top = static_cast<int>(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0));
  const int page = static_cast<int>(SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0));
  const int last = top + std::max(page, 0);
  for (const std::uint32_t id : held_ids_) {
    const int index = find_item(id);
    if (index < top || index > last) continue;
    RECT row{};
    row.left = LVIR_BOUNDS;
    if (!SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(&row))) {
      continue;
    }
    row.left = client.left;
    row.right = client.right;
    InvalidateRect(list_, &row, FALSE);
  }
  held_ids_.clear();
}

void DeviceList::update_row(std::size_t row, std::uint32_t mask) {
  present_row(table_.mutable_rows(), row, mask, filter_, *this);
}

void DeviceList::update_group(AddressGroup& group, std::optional<std::size_t> changed_row,
                              std::uint32_t mask) {
  present_group(table_.mutable_rows(), group, changed_row, mask, filter_, *this,
                !changed_row && mask != 0);
}

void DeviceList::remove_item(ListItemLink& link) {
  if (!link.empty() && list_) {
    const int index = find_item(link.item_id);
    if (index >= 0 && delete_item_at(index)) held_reflow_ = true;
    index_hints_.erase(link.item_id);
  }
  link = ListItemLink{};
}

void DeviceList::set_item(ListItemLink& link, std::size_t row, std::uint32_t mask) {
  if (!list_ || row >= table_.size()) return;
  int index = find_item(link.item_id);
  if (index < 0) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(item_ids_.size());
    item.pszText = LPSTR_TEXTCALLBACKW;
    item.lParam = static_cast<LPARAM>(row);
    index = static_cast<int>(send_list(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) {
      link = ListItemLink{};
      return;
    }
    const std::uint32_t id = id_of_index(index);
    if (id == ListItemLink::kNoItem) {
      send_list(LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
      link = ListItemLink{};
      return;
    }
    const auto at =
        static_cast<std::size_t>(std::min<int>(index, static_cast<int>(item_ids_.size())));
    item_ids_.insert(item_ids_.begin() + static_cast<std::ptrdiff_t>(at), id);
    item_rows_.insert(item_rows_.begin() + static_cast<std::ptrdiff_t>(at), row);
    index_hints_[id] = index;
    link.item_id = id;
    mask = kAllColumns;
  } else if (link.shown_row != row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    item.lParam = static_cast<LPARAM>(row);
    if (!send_list(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return;
    item_rows_[static_cast<std::size_t>(index)] = row;
    mask = kAllColumns;
  }
  link.shown_row = row;
  // The cells are text callbacks: the list asks for them (LVN_GETDISPINFO)
  // when it paints or is read, and gets them from the row the item shows.
  // Changed cells therefore cost one repaint request instead of one stored
  // copy per cell, which keeps a tick of thousands of merges cheap.
  if (mask != 0 && redraw_suspended_ == 0) {
    if (held_ > 0) {
      held_ids_.push_back(link.item_id);
    } else {
      SendMessageW(list_, LVM_REDRAWITEMS, static_cast<WPARAM>(index), static_cast<LPARAM>(index));
    }
  }
  if (sort_column_ >= 0 && (mask & (1u << sort_column_))) resort_pending_ = true;
}

void DeviceList::rebuild(std::uint32_t mask) {
  if (!list_) return;
  suspend_redraw();
  present_all(table_, mask, filter_, *this);
  if (resort_pending_) sort();
  resume_redraw();
  fit_columns(false);
}

void DeviceList::delete_all_items() {
  if (list_) SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
  held_reflow_ = true;
  item_ids_.clear();
  item_rows_.clear();
  index_hints_.clear();
  check_items();
}

std::optional<std::size_t> DeviceList::row_of_item(int item) const {
  if (item < 0 || !list_) return std::nullopt;
  LVITEMW lv{};
  lv.mask = LVIF_PARAM;
  lv.iItem = item;
  if (!SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lv))) return std::nullopt;
  if (lv.lParam < 0 || static_cast<std::size_t>(lv.lParam) >= table_.size()) return std::nullopt;
  return static_cast<std::size_t>(lv.lParam);
}

void DeviceList::cell_text(LPARAM item_data, int column, wchar_t* out,
                           std::size_t capacity) const noexcept {
  if (capacity == 0) return;
  std::size_t length = 0;
  if (item_data >= 0 && static_cast<std::size_t>(item_data) < table_.size() && column >= 0 &&
      column < kColumnCount) {
    const std::u16string& text =
        table_.row(static_cast<std::size_t>(item_data)).columns[static_cast<std::size_t>(column)];
    length = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), length * sizeof(char16_t));
  }
  out[length] = L'\0';
}

int DeviceList::row_accent(LPARAM item_data) const noexcept {
  if (item_data < 0 || static_cast<std::size_t>(item_data) >= table_.size()) return 0;
  return table_.row(static_cast<std::size_t>(item_data)).accent_index;
}

RowMark DeviceList::row_mark(LPARAM item_data) const noexcept {
  if (item_data < 0 || static_cast<std::size_t>(item_data) >= table_.size()) return RowMark::kNone;
  const std::uint8_t state = table_.row(static_cast<std::size_t>(item_data)).state;
  if (needs_attention(state)) return RowMark::kAttention;
  return state == kStateGone ? RowMark::kGone : RowMark::kNone;
}

// ---------------------------------------------------------------------------
// Sorting

void DeviceList::sort_by(int column) {
  if (column < 0 || column >= kColumnCount) return;
  if (column == sort_column_) {
    set_sort_arrow(header_, column, ascending_ ? HDF_SORTDOWN : HDF_SORTUP);
    ascending_ = !ascending_;
  } else {
    if (sort_column_ >= 0) set_sort_arrow(header_, sort_column_, 0);
    sort_column_ = column;
    ascending_ = true;
    set_sort_arrow(header_, column, HDF_SORTUP);
  }
  sort();
}

void DeviceList::sort() {
  resort_pending_ = false;
  if (sort_column_ < 0 || !list_) return;
  check_items();
  // The order is worked out here on prepared keys; the list view is asked to
  // reorder only when it changes, and then compares ranks only.
  const std::vector<std::size_t> order =
      sorted_positions(table_.rows(), item_rows_, sort_column_, ascending_);
  bool unchanged = true;
  for (std::size_t i = 0; i < order.size() && unchanged; ++i) unchanged = order[i] == i;
  if (unchanged) return;

  SortRanks ranks;
  ranks.by_row.assign(table_.size(), std::numeric_limits<std::uint32_t>::max());
  for (std::size_t k = 0; k < order.size(); ++k) {
    const std::size_t row = item_rows_[order[k]];
    if (row < ranks.by_row.size()) ranks.by_row[row] = static_cast<std::uint32_t>(k);
  }
  send_list(LVM_SORTITEMS, reinterpret_cast<WPARAM>(&ranks),
            reinterpret_cast<LPARAM>(&compare_items));
  held_reflow_ = true;
  std::vector<std::uint32_t> ids(order.size());
  std::vector<std::size_t> rows(order.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    ids[k] = item_ids_[order[k]];
    rows[k] = item_rows_[order[k]];
  }
  item_ids_.swap(ids);
  item_rows_.swap(rows);
  refresh_index_hints();
}

// ---------------------------------------------------------------------------
// Column fit

void DeviceList::fit_columns(bool reset) {
  if (!list_) return;
  for (int pass = 0; pass < 3; ++pass) {
    RECT client{};
    if (!GetClientRect(list_, &client)) return;
    const int width = client.right - client.left;
    if (width <= 0) return;
    std::array<int, kColumnCount> current{};
    for (int i = 0; i < kColumnCount; ++i) {
      current[static_cast<std::size_t>(i)] =
          static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
    }
    const auto widths = fit_column_widths(width, dpi_, reset, current);
    for (int i = 0; i < kColumnCount; ++i) {
      const auto k = static_cast<std::size_t>(i);
      if (widths[k] != current[k]) {
        SendMessageW(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i), MAKELPARAM(widths[k], 0));
      }
    }
    // A vertical scroll bar that appeared or vanished changes the width:
    // fit again, keeping what was just set.
    RECT after{};
    if (!GetClientRect(list_, &after) || after.right - after.left == width) return;
    reset = false;
  }
}

void DeviceList::on_fit_message() {
  fit_pending_ = false;
  fit_columns(false);
}

// ---------------------------------------------------------------------------
// Filter tabs

bool DeviceList::on_tab_clicked(std::size_t tab) {
  if (tab >= tabs_.size() || !tabs_[tab]) return false;
  const bool checked = SendMessageW(tabs_[tab], BM_GETCHECK, 0, 0) == BST_CHECKED;
  const auto next = filter_after_click(filter_, tab, checked);
  return next && apply_filter(*next);
}

bool DeviceList::on_tab_solo(std::size_t tab) {
  if (tab >= tabs_.size()) return false;
  return apply_filter(filter_after_solo(filter_, tab));
}

bool DeviceList::apply_filter(const FilterState& next) {
  if (same_filter(filter_, next)) return false;
  for (std::size_t i = 0; i < tabs_.size(); ++i) {
    if (tabs_[i] && next.checks[i] != filter_.checks[i]) {
      SendMessageW(tabs_[i], BM_SETCHECK, next.checks[i] ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
  filter_ = next;
  rebuild(0);
  return true;
}

// ---------------------------------------------------------------------------
// Notifications

bool DeviceList::on_notify(const NMHDR& nm, LRESULT& result) {
  if (header_ && nm.hwndFrom == header_) return on_header_notify(nm, result);
  return on_list_notify(nm, result);
}

bool DeviceList::on_header_notify(const NMHDR& nm, LRESULT& result) {
  switch (nm.code) {
    case HDN_ENDTRACKA:
    case HDN_ENDTRACKW:
    case HDN_ITEMCHANGEDA:
    case HDN_ITEMCHANGEDW:
      if (!fit_pending_ && main_) fit_pending_ = PostMessageW(main_, kMsgFitColumns, 0, 0) != 0;
      result = 0;
      return true;
    case HDN_BEGINTRACKA:
    case HDN_BEGINTRACKW: {
      // The last column always takes the rest of the width.
      const auto& hd = reinterpret_cast<const NMHEADERW&>(nm);
      result = hd.iItem == kColumnCount - 1 ? TRUE : FALSE;
      return true;
    }
    default:
      return false;
  }
}

bool DeviceList::on_list_notify(const NMHDR& nm, LRESULT& result) {
  if (!list_ || nm.hwndFrom != list_) return false;
  switch (nm.code) {
    case LVN_GETDISPINFOW: {
      auto& info = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(nm));
      if ((info.item.mask & LVIF_TEXT) && info.item.pszText && info.item.cchTextMax > 0) {
        cell_text(info.item.lParam, info.item.iSubItem, info.item.pszText,
                  static_cast<std::size_t>(info.item.cchTextMax));
      }
      result = 0;
      return true;
    }
    case LVN_COLUMNCLICK: {
      const auto& lv = reinterpret_cast<const NMLISTVIEW&>(nm);
      sort_by(lv.iSubItem);
      result = 0;
      return true;
    }
    case NM_DBLCLK: {
      // On an address: that device's web page.
      int column = -1;
      const auto row = row_at(reinterpret_cast<const NMITEMACTIVATE&>(nm).ptAction, column);
      if (row && column == kColIp) commands_.open_in_browser(table_.row(*row).columns[kColIp]);
      result = 0;
      return true;
    }
    case NM_RCLICK: {
      // On a cell: the menu with "Kopiuj" for its text.
      POINT point = reinterpret_cast<const NMITEMACTIVATE&>(nm).ptAction;
      int column = -1;
      const auto row = row_at(point, column);
      if (!row || column < 0 || column >= kColumnCount) return false;
      const DeviceRow& shown = table_.row(*row);
      const std::u16string text = shown.columns[static_cast<std::size_t>(column)];
      const std::u16string address = shown.columns[kColIp];
      if (!ClientToScreen(list_, &point) || !commands_.context_menu(point, text, address)) {
        return false;
      }
      result = 1;
      return true;
    }
    default:
      return false;
  }
}

std::optional<std::size_t> DeviceList::row_at(POINT point, int& column) {
  LVHITTESTINFO hit{};
  hit.pt = point;
  SendMessageW(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
  column = hit.iSubItem;
  return row_of_item(hit.iItem);
}

std::vector<std::size_t> DeviceList::shown_rows() {
  check_items();
  std::vector<std::size_t> rows;
  rows.reserve(item_rows_.size());
  for (const std::size_t row : item_rows_) {
    if (row < table_.size()) rows.push_back(row);
  }
  return rows;
}

}  // namespace norvane
