// Ribbon.h - the host's ribbon: categories, panels and buttons, each known by its name.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VarnelSDK.h"

namespace vxhost {

struct Extension;

struct RibbonItem {
    std::string name;
    std::wstring title;
    // Added by a plug-in: what the host keeps of the icon (the plug-in releases the icon itself).
    bool added = false;
    ASInt32 iconResource = 0;
    size_t iconBytes = 0;
    ASInt32 mode = 0;
    AVRibbonProc proc = nullptr;
    ASUns32 clientData = 0;
    Extension* owner = nullptr;           // plug-in whose procedure the item runs
    std::function<void()> builtin;        // the host's own command
};

struct RibbonPanel {
    std::string name;
    std::vector<RibbonItem*> items;
};

struct RibbonCategory {
    std::string name;
    std::vector<std::unique_ptr<RibbonPanel>> panels;
};

// Items and panels that are removed stay allocated until the ribbon dies, so a handle a plug-in
// still holds never dangles.
class Ribbon {
public:
    Ribbon() = default;
    Ribbon(const Ribbon&) = delete;
    Ribbon& operator=(const Ribbon&) = delete;

    // The host's default layout (Main and Help categories).
    void BuildDefault();
    // Back to the default layout, as a fresh start of the host has it; added items are numbered
    // from 1 again. Old items stay allocated.
    void Reset();

    RibbonCategory& AddCategory(const std::string& name);
    RibbonPanel& AddPanel(RibbonCategory& category, const std::string& name);
    RibbonItem& AddButton(RibbonPanel& panel, const std::string& name, const std::wstring& title);

    RibbonCategory* FindCategory(const std::string& name);
    RibbonPanel* FindPanel(const std::string& category, const std::string& panel);
    RibbonItem* FindItem(const std::string& name);
    // Every item with that title, in ribbon order.
    std::vector<RibbonItem*> FindItemsTitled(const std::wstring& title);
    bool OwnsItem(const void* item) const;
    bool IsPresent(const RibbonItem* item) const;

    bool RemovePanel(const std::string& category, const std::string& panel);
    bool RemoveButton(const std::string& category, const std::string& panel, const std::string& button);
    // Inserts a new item right after the item named `at`; null when there is no such item.
    // The new item is named "<at>+<n>".
    RibbonItem* AddItemBeside(const std::string& at, const std::wstring& title);

    const std::vector<std::unique_ptr<RibbonCategory>>& Categories() const { return categories_; }
    // Indented listing: categories, panels, items with their titles.
    std::string Describe() const;

private:
    std::vector<std::unique_ptr<RibbonCategory>> categories_;
    std::vector<std::unique_ptr<RibbonItem>> items_;
    std::vector<std::unique_ptr<RibbonPanel>> removedPanels_;
    std::vector<std::unique_ptr<RibbonCategory>> removedCategories_;
    int added_ = 0;
};

}  // namespace vxhost
