// The device list: the report list view that shows the device table, one
// item per device of an address group or per row without address, with the
// filter tabs, sorting, column fit and the painting hold of a tick; its
// commands on a device or on the whole list are ListCommands
// (list_export_win.h).
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/list_export_win.h"
#include "app/list_logic.h"
#include "model/device_table.h"
#include "ui/theme_logic.h"

namespace norvane {

inline constexpr UINT kMsgFitColumns = WM_APP + 3;

class DeviceList final : public DevicePresenter, public ItemSink {
 public:
  // Painting of the list held while a batch changes it (the merges and the
  // sort of a tick): the list view paints nothing and the changes pass by
  // the subclasses' repaint rules meanwhile; when the last hold ends, only
  // the changed rows on screen are repainted (without erasing), or the
  // whole list when items moved. Unlike suspend_redraw, the list's own
  // invalidation of everything when redrawing resumes is discarded. Holds
  // nest.
  class PaintHold {
   public:
    PaintHold() = default;  // holds nothing
    explicit PaintHold(DeviceList& list);
    ~PaintHold();
    PaintHold(PaintHold&& other) noexcept;
    PaintHold& operator=(PaintHold&& other) noexcept;
    PaintHold(const PaintHold&) = delete;
    PaintHold& operator=(const PaintHold&) = delete;
    bool holds() const noexcept { return list_ != nullptr; }

   private:
    DeviceList* list_ = nullptr;
  };

  DeviceList(DeviceTable& table, ListCommands::Warn warn);
  ~DeviceList() override;
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;

  // The main window, its list view and the seven filter tabs.
  void attach(HWND main, HWND list, const std::array<HWND, 7>& tabs);
  void set_dpi(int dpi) noexcept { dpi_ = dpi > 0 ? dpi : 96; }
  bool insert_columns();

  // DevicePresenter
  void update_row(std::size_t row, std::uint32_t mask) override;
  void update_group(AddressGroup& group, std::optional<std::size_t> changed_row,
                    std::uint32_t mask) override;
  void remove_item(ListItemLink& link) override;

  // ItemSink
  void set_item(ListItemLink& link, std::size_t row, std::uint32_t mask) override;
  void rebuild(std::uint32_t mask);
  void delete_all_items();
  // Redrawing off while a batch of changes runs (the caller invalidates the
  // list afterwards); nests.
  void suspend_redraw();
  void resume_redraw();
  [[nodiscard]] PaintHold hold_painting() { return PaintHold(*this); }
  bool painting_held() const noexcept { return held_ > 0; }
  std::size_t item_count() const noexcept { return item_ids_.size(); }

  void sort_by(int column);
  void sort();
  bool resort_pending() const noexcept { return resort_pending_; }
  void clear_resort_pending() noexcept { resort_pending_ = false; }
  int sort_column() const noexcept { return sort_column_; }
  bool ascending() const noexcept { return ascending_; }

  void fit_columns(bool reset);
  // WM_APP+3: a header change asked for a fit keeping the widths.
  void on_fit_message();

  int row_accent(LPARAM item_data) const noexcept;
  // How the row with that index stands out: a state that asks for a look,
  // or a device that is gone and nothing else.
  RowMark row_mark(LPARAM item_data) const noexcept;
  // Text of one cell of the row with that index, cut to fit `capacity`
  // units including the terminating zero.
  void cell_text(LPARAM item_data, int column, wchar_t* out, std::size_t capacity) const noexcept;
  std::optional<std::size_t> row_of_item(int item) const;

  // Filter tabs. True when the filter changed (the caller refreshes the
  // status band).
  bool on_tab_clicked(std::size_t tab);
  bool on_tab_solo(std::size_t tab);
  bool apply_filter(const FilterState& next);
  const FilterState& filter() const noexcept { return filter_; }

  // WM_NOTIFY from the list or its header; true when handled.
  bool on_notify(const NMHDR& header, LRESULT& result);
  bool on_header_notify(const NMHDR& header, LRESULT& result);
  bool on_list_notify(const NMHDR& header, LRESULT& result);

  // The rows the items show, in list order: what the commands export.
  std::vector<std::size_t> shown_rows();
  ListCommands& commands() noexcept { return commands_; }

  HWND list() const noexcept { return list_; }
  HWND header() const noexcept { return header_; }

 private:
  static LRESULT CALLBACK list_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                    DWORD_PTR ref);
  // A message of the item mechanics to the list view: during a paint hold
  // straight to the list view itself, below every subclass.
  LRESULT send_list(UINT msg, WPARAM wparam, LPARAM lparam);
  std::uint32_t id_of_index(int index);
  // The row and column under a point in list client coordinates.
  std::optional<std::size_t> row_at(POINT point, int& column);
  int find_item(std::uint32_t id);
  void refresh_index_hints();
  bool delete_item_at(int index);
  // Re-reads the items from the list view when their number no longer
  // matches the copy (a list call that failed halfway).
  void check_items();

  DeviceTable& table_;
  ListCommands commands_;
  HWND main_ = nullptr;
  HWND list_ = nullptr;
  HWND header_ = nullptr;
  std::array<HWND, 7> tabs_{};
  int dpi_ = 96;

  FilterState filter_;
  int sort_column_ = -1;
  bool ascending_ = true;
  bool resort_pending_ = false;
  bool fit_pending_ = false;

  // The list's items in list order: their identifiers and the rows they
  // show. Every change to the items goes through this class, which keeps
  // this copy in step, so finding an item, checking whether a sort would
  // change anything and re-sorting need no call per item into the list
  // view (each such call costs microseconds, thousands of them per tick).
  std::vector<std::uint32_t> item_ids_;
  std::vector<std::size_t> item_rows_;
  // Last known position of an identifier; checked against item_ids_.
  std::unordered_map<std::uint32_t, int> index_hints_;
  int redraw_suspended_ = 0;

  // Painting hold: identifiers of items whose cells changed meanwhile,
  // whether items moved, the list's state when the hold began and the
  // region that was waiting to be painted then.
  void begin_hold();
  void end_hold();
  void drop_held_region();
  void send_redraw(bool on);
  int held_ = 0;
  bool held_quiet_ = false;
  bool held_reflow_ = false;
  RECT held_client_{};
  HRGN held_region_ = nullptr;
  std::vector<std::uint32_t> held_ids_;
};

}  // namespace norvane
