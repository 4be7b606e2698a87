#include "modes/save_wallpaper_window.hpp"

#include <imgui.h>
#include <imgui_impl_sdlrenderer.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "display/dxdraw.hpp"
#include "modes/form_controls.hpp"
#include "platform/imgui_support.hpp"

namespace tav {
namespace {

class SaveWallpaperWindow final : public SaveDialogWindow {
 public:
  SaveWallpaperWindow(Application& app, TOKRightDlg& dialog) : app_(app), dlg_(dialog) {
    // Everything in the dialog is laid out in designed units.
    OpenFormWindow(TOKRightDlg::kCaption, TOKRightDlg::kClientWidth, TOKRightDlg::kClientHeight, 0,
                   "Save Wallpaper", window_, renderer_, imgui_, true);
    listFont_ = imgui_->AddFont(kDejaVu, 13);
    arialFont_ = imgui_->AddFont(kLiberationBold, 16);
    std::strncpy(buffer_, dlg_.Edit.c_str(), sizeof buffer_ - 1);
    synced_ = dlg_.Edit;
    SDL_RaiseWindow(window_.get());
    Frame();
  }

  Uint32 Id() const override { return SDL_GetWindowID(window_.get()); }
  TOKRightDlg& Dialog() override { return dlg_; }

  void HandleEvent(const SDL_Event& e) override {
    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE) {
      app_.Guard([&] { dlg_.FormClose(); });
      return;
    }
    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) app_.SetActive(true);
    imgui_->ProcessEvent(e);
    if (e.type == SDL_KEYDOWN) Key(e.key);
    Frame();
    RunPending();
    // ImGui shows some changes a frame late (popups, released buttons).
    if (e.type != SDL_USEREVENT) extraFrames_ = 2;
    if (extraFrames_ > 0 && dlg_.Visible()) {
      --extraFrames_;
      SDL_Event more{};
      more.type = SDL_USEREVENT;
      more.user.windowID = Id();
      SDL_PushEvent(&more);
    }
  }

  // One more frame after input, for what ImGui shows a frame late.
  void Frame() {
    imgui_->NewFrame();
    Build();
    ImGui::Render();
    SDL_SetRenderDrawColor(renderer_.get(), 192, 192, 192, 255);
    SDL_RenderClear(renderer_.get());
    ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
    SDL_RenderPresent(renderer_.get());
  }

 private:
  enum Control { kEdit, kSave, kCancel, kDrives, kFolders, kFiles, kType, kControls };

  void Key(const SDL_KeyboardEvent& k) {
    if (!dlg_.ReplaceQuestion().empty()) {
      QuestionKey(k);
      return;
    }
    if (typeListOpen_) {
      TypeListKey(k);
      return;
    }
    const bool alt = (k.keysym.mod & KMOD_ALT) != 0;
    if (focus_ == kType && (k.keysym.sym == SDLK_F4 || k.keysym.sym == SDLK_SPACE ||
                            (alt && (k.keysym.sym == SDLK_DOWN || k.keysym.sym == SDLK_UP)))) {
      openTypeList_ = true;
      return;
    }
    switch (k.keysym.sym) {
      case SDLK_ESCAPE: pending_ = [this] { dlg_.CancelBtnClick(); }; break;
      case SDLK_RETURN:
      case SDLK_KP_ENTER:
        if (focus_ == kFolders) {
          const int i = selectedFolder_;
          pending_ = [this, i] { dlg_.OpenDirectoryItem(i); };
        } else if (focus_ == kCancel) {
          pending_ = [this] { dlg_.CancelBtnClick(); };
        } else {
          pending_ = [this] { dlg_.OKBtnClick(); };
        }
        break;
      case SDLK_SPACE:
        if (focus_ == kSave) pending_ = [this] { dlg_.OKBtnClick(); };
        if (focus_ == kCancel) pending_ = [this] { dlg_.CancelBtnClick(); };
        break;
      case SDLK_TAB:
        SetFocus((focus_ + (Shift(k) ? kControls - 1 : 1)) % kControls);
        break;
      case SDLK_UP:
      case SDLK_DOWN: {
        const int d = k.keysym.sym == SDLK_UP ? -1 : 1;
        if (focus_ == kFolders) {
          selectedFolder_ = std::clamp(selectedFolder_ + d, 0, static_cast<int>(dlg_.DirectoryItems().size()) - 1);
        } else if (focus_ == kFiles && !dlg_.Files().empty()) {
          const int i = std::clamp(selectedFile_ + d, 0, static_cast<int>(dlg_.Files().size()) - 1);
          pending_ = [this, i] { dlg_.ClickFile(i); selectedFile_ = i; };
        } else if (focus_ == kDrives) {
          const int i = std::clamp(dlg_.DriveIndex() + d, 0, static_cast<int>(dlg_.Drives().size()) - 1);
          pending_ = [this, i] { dlg_.SelectDrive(i); };
        } else if (focus_ == kType) {
          const int i = std::clamp(static_cast<int>(dlg_.FileType()) + d, 0, 1);
          pending_ = [this, i] { dlg_.SetFileType(static_cast<ImageFileType>(i)); };
        }
        break;
      }
      default:
        break;
    }
  }

  // The open type list: Up/Down move through it, Enter (or Space) takes the
  // marked type, Esc, F4 or Alt+Up/Down close it as it was.
  void TypeListKey(const SDL_KeyboardEvent& k) {
    switch (k.keysym.sym) {
      case SDLK_UP:
      case SDLK_DOWN:
        if ((k.keysym.mod & KMOD_ALT) != 0) {
          closeTypeList_ = true;
        } else {
          markedType_ = std::clamp(markedType_ + (k.keysym.sym == SDLK_UP ? -1 : 1), 0, 1);
        }
        break;
      case SDLK_RETURN:
      case SDLK_KP_ENTER:
      case SDLK_SPACE: {
        const int i = markedType_;
        pending_ = [this, i] { dlg_.SetFileType(static_cast<ImageFileType>(i)); };
        closeTypeList_ = true;
        break;
      }
      case SDLK_ESCAPE:
      case SDLK_F4:
      case SDLK_TAB: closeTypeList_ = true; break;
      default: break;
    }
  }

  // The replace question takes the keys while it is up: Y/N, Esc for No,
  // Enter or Space for the button with the focus (No at first, so that a
  // second Enter replaces nothing).
  void QuestionKey(const SDL_KeyboardEvent& k) {
    switch (k.keysym.sym) {
      case SDLK_y: pending_ = [this] { dlg_.ReplaceYesClick(); }; break;
      case SDLK_n:
      case SDLK_ESCAPE: pending_ = [this] { dlg_.ReplaceNoClick(); }; break;
      case SDLK_RETURN:
      case SDLK_KP_ENTER:
      case SDLK_SPACE:
        if (yesFocused_)
          pending_ = [this] { dlg_.ReplaceYesClick(); };
        else
          pending_ = [this] { dlg_.ReplaceNoClick(); };
        break;
      case SDLK_TAB:
      case SDLK_LEFT:
      case SDLK_RIGHT: yesFocused_ = !yesFocused_; break;
      default: break;
    }
  }

  void SetFocus(int f) {
    if (focus_ == kEdit && f != kEdit) ++editGeneration_;  // lets the field go
    focus_ = f;
  }

  void RunPending() {
    if (!pending_) return;
    auto f = std::move(pending_);
    pending_ = nullptr;
    app_.Guard(f);
    if (dlg_.Visible()) Frame();
  }

  void Build() {
    // The model changed the name field (a folder was read, a file clicked):
    // start the text field afresh with it.
    if (dlg_.Edit != synced_) {
      std::memset(buffer_, 0, sizeof buffer_);
      std::strncpy(buffer_, dlg_.Edit.c_str(), sizeof buffer_ - 1);
      synced_ = dlg_.Edit;
      ++editGeneration_;
    }
    if (dlg_.Directory() != shownDirectory_) {
      shownDirectory_ = dlg_.Directory();
      selectedFolder_ = dlg_.DirectoryItemIndex();
      selectedFile_ = -1;
    }
    const bool asking = !dlg_.ReplaceQuestion().empty();
    if (asking && !wasAsking_) {
      yesFocused_ = false;
      ++editGeneration_;  // the field lets go of the keys
    }
    wasAsking_ = asking;

    ImGui::PushStyleColor(ImGuiCol_WindowBg, ImVec4(0.75f, 0.75f, 0.75f, 1));
    ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(0, 0, 0, 1));
    ImGui::PushStyleColor(ImGuiCol_Header, ImVec4(0.55f, 0.65f, 0.95f, 1));
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.86f, 0.86f, 0.86f, 1));
    ImGui::PushStyleColor(ImGuiCol_Border, ImVec4(0.3f, 0.3f, 0.3f, 1));
    ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, 1.f);
    BeginClientArea("##dialog", TOKRightDlg::kClientWidth, TOKRightDlg::kClientHeight, false);
    ImGui::BeginDisabled(asking);

    ImGui::PushFont(arialFont_);
    ImGui::SetCursorPos(ImVec2(8, 10));
    ImGui::TextUnformatted("Name");
    ImGui::PopFont();

    // The name field, first in the tab order.
    ImGui::PushFont(listFont_);
    ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(1, 1, 1, 1));
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(3, 4));
    ImGui::SetCursorPos(ImVec2(64, 9));
    ImGui::SetNextItemWidth(241);
    if (focus_ == kEdit && !editActive_ && !asking) ImGui::SetKeyboardFocusHere();
    const std::string editId = "##edit" + std::to_string(editGeneration_);
    // Tab is ours (Key above): ImGui's own tabbing would hand the keys
    // straight back to the field, its only text input.
    ImGui::PushAllowKeyboardFocus(false);
    if (ImGui::InputText(editId.c_str(), buffer_, sizeof buffer_, ImGuiInputTextFlags_AutoSelectAll)) {
      // A typed ".png" or ".bmp" moves the type box along.
      dlg_.NameTyped(buffer_);
      synced_ = dlg_.Edit;
    }
    ImGui::PopAllowKeyboardFocus();
    editActive_ = ImGui::IsItemActive();
    if (ImGui::IsItemActivated()) focus_ = kEdit;
    ImGui::PopStyleVar();
    ImGui::PopStyleColor();

    // Drive list.
    ImGui::SetCursorPos(ImVec2(8, 48));
    ImGui::SetNextItemWidth(145);
    ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(1, 1, 1, 1));
    ImGui::PushStyleColor(ImGuiCol_PopupBg, ImVec4(1, 1, 1, 1));
    const auto& drives = dlg_.Drives();
    const char* preview = dlg_.DriveIndex() >= 0 ? drives[dlg_.DriveIndex()].Root.c_str() : "";
    if (ImGui::BeginCombo("##drives", preview)) {
      for (int i = 0; i < static_cast<int>(drives.size()); ++i) {
        if (ImGui::Selectable(drives[i].Root.c_str(), i == dlg_.DriveIndex())) {
          pending_ = [this, i] { dlg_.SelectDrive(i); };
          SetFocus(kDrives);
        }
      }
      ImGui::EndCombo();
    }
    if (ImGui::IsItemActivated()) SetFocus(kDrives);
    if (focus_ == kDrives) FocusFrame(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());

    // Folder list: a double-click (or Enter) opens a folder.
    ImGui::SetCursorPos(ImVec2(8, 72));
    if (ImGui::BeginListBox("##folders", ImVec2(145, 153))) {
      const auto& items = dlg_.DirectoryItems();
      for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        const std::filesystem::path p(items[i]);
        std::string label = p.has_filename() ? p.filename().string() : items[i];
        label = std::string(static_cast<size_t>(dlg_.DirectoryItemDepth(i)) * 2, ' ') +
                (i <= dlg_.DirectoryItemIndex() ? "[" + label + "]" : label) + "##" + std::to_string(i);
        if (ImGui::Selectable(label.c_str(), i == selectedFolder_, ImGuiSelectableFlags_AllowDoubleClick)) {
          selectedFolder_ = i;
          SetFocus(kFolders);
          if (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left))
            pending_ = [this, i] { dlg_.OpenDirectoryItem(i); };
        }
      }
      ImGui::EndListBox();
    }
    if (focus_ == kFolders) FocusFrame(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());

    // File list.
    ImGui::SetCursorPos(ImVec2(160, 48));
    if (ImGui::BeginListBox("##files", ImVec2(145, 177))) {
      const auto& files = dlg_.Files();
      for (int i = 0; i < static_cast<int>(files.size()); ++i) {
        const std::string label = files[i] + "##f" + std::to_string(i);
        if (ImGui::Selectable(label.c_str(), i == selectedFile_)) {
          selectedFile_ = i;
          SetFocus(kFiles);
          pending_ = [this, i] { dlg_.ClickFile(i); };
        }
      }
      ImGui::EndListBox();
    }
    if (focus_ == kFiles) FocusFrame(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());

    // File type (the file list's mask follows it) and the background check box.
    ImGui::SetCursorPos(ImVec2(8, 232));
    ImGui::SetNextItemWidth(145);
    // The box takes the focus when clicked, as every other control does: left
    // with the name field, the field would take the keyboard focus back on
    // the next frame and close the list as soon as it opened.
    const int type = static_cast<int>(dlg_.FileType());
    const ImGuiID typeId = ImGui::GetID("##type");
    const ImGuiID typePopup = ImHashStr("##ComboPopup", 0, typeId);
    if (openTypeList_ && !ImGui::IsPopupOpen(typePopup, ImGuiPopupFlags_None)) {
      ImGui::OpenPopupEx(typePopup, ImGuiPopupFlags_None);
      markedType_ = type;
    }
    openTypeList_ = false;
    bool listOpen = false;
    if (ImGui::BeginCombo("##type", TOKRightDlg::kFileTypes[type])) {
      listOpen = true;
      if (!typeListOpen_) markedType_ = type;  // opened by the mouse
      for (int i = 0; i < 2; ++i) {
        if (ImGui::Selectable(TOKRightDlg::kFileTypes[i], i == markedType_)) {
          pending_ = [this, i] { dlg_.SetFileType(static_cast<ImageFileType>(i)); };
          SetFocus(kType);
        }
      }
      if (closeTypeList_) ImGui::CloseCurrentPopup();
      ImGui::EndCombo();
    }
    closeTypeList_ = false;
    typeListOpen_ = listOpen;
    if (ImGui::IsItemActivated()) SetFocus(kType);
    if (focus_ == kType) FocusFrame(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
    ImGui::PopStyleColor(2);
    ImGui::SetCursorPos(ImVec2(160, 234));
    ImGui::Checkbox(TOKRightDlg::kSetAsBackground, &dlg_.SetAsBackground);
    ImGui::PopFont();

    // "Save" (Enter) and "Cancel" (Esc).
    ImGui::PushFont(arialFont_);
    ImGui::SetCursorPos(ImVec2(328, 9));
    if (ImGui::Button("Save", ImVec2(79, 25))) {
      SetFocus(kSave);
      pending_ = [this] { dlg_.OKBtnClick(); };
    }
    if (focus_ == kSave) FocusFrame(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
    ImGui::SetCursorPos(ImVec2(328, 38));
    if (ImGui::Button("Cancel", ImVec2(79, 25))) {
      SetFocus(kCancel);
      pending_ = [this] { dlg_.CancelBtnClick(); };
    }
    if (focus_ == kCancel) FocusFrame(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
    ImGui::PopFont();
    ImGui::EndDisabled();
    ImGui::End();
    if (asking) BuildQuestion();
    ImGui::PopStyleVar();
    ImGui::PopStyleColor(5);
  }

  // "<name> already exists. Do you want to replace it?" over the dialog.
  void BuildQuestion() {
    constexpr float kLeft = 20, kTop = 30, kWidth = TOKRightDlg::kClientWidth - 2 * kLeft,
                    kHeight = TOKRightDlg::kClientHeight - 2 * kTop;
    ImGui::SetNextWindowPos(ImVec2(kLeft, kTop));
    ImGui::SetNextWindowSize(ImVec2(kWidth, kHeight));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(10, 10));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 1.f);
    ImGui::Begin("##replace", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings);
    ImGui::PushFont(listFont_);
    ImGui::PushTextWrapPos(kWidth - 10);
    ImGui::TextUnformatted(dlg_.ReplaceQuestion().c_str());
    ImGui::PopTextWrapPos();
    ImGui::PopFont();
    ImGui::PushFont(arialFont_);
    const float y = kHeight - 35;
    ImGui::SetCursorPos(ImVec2(kWidth / 2 - 85, y));
    if (ImGui::Button("Yes", ImVec2(79, 25))) pending_ = [this] { dlg_.ReplaceYesClick(); };
    if (yesFocused_) FocusFrame(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
    ImGui::SetCursorPos(ImVec2(kWidth / 2 + 6, y));
    if (ImGui::Button("No", ImVec2(79, 25))) pending_ = [this] { dlg_.ReplaceNoClick(); };
    if (!yesFocused_) FocusFrame(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
    ImGui::PopFont();
    ImGui::End();
    ImGui::PopStyleVar(2);
  }

  Application& app_;
  TOKRightDlg& dlg_;
  // Destroyed bottom up: the ImGui context, the renderer, the window.
  SdlWindow window_;
  SdlRenderer renderer_;
  std::unique_ptr<ImGuiWindowContext> imgui_;
  ImFont* listFont_ = nullptr;
  ImFont* arialFont_ = nullptr;
  char buffer_[1024] = {};
  std::string synced_;
  std::string shownDirectory_;
  int editGeneration_ = 0;
  bool editActive_ = false;
  int focus_ = kEdit;
  int selectedFolder_ = -1;
  int selectedFile_ = -1;
  int extraFrames_ = 0;
  bool wasAsking_ = false;
  bool yesFocused_ = false;
  bool openTypeList_ = false;   // a key asked for the type list
  bool closeTypeList_ = false;  // a key closed it
  bool typeListOpen_ = false;   // as the last frame left it
  int markedType_ = 0;          // the entry marked in the open list
  std::function<void()> pending_;
};

}  // namespace

std::unique_ptr<SaveDialogWindow> SaveDialogWindow::Open(Application& app, TOKRightDlg& dialog) {
  return std::make_unique<SaveWallpaperWindow>(app, dialog);
}

}  // namespace tav
