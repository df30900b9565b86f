#include "vxhost/Ribbon.h"

#include <algorithm>

#include "vxhost/Host.h"

namespace vxhost {

void Ribbon::BuildDefault() {
    auto& main = AddCategory("AVRibbon:Category:Main");
    auto& file = AddPanel(main, "AVRibbon:Panel:Main:File");
    AddButton(file, "AVRibbon:Main:Open:Btn", L"Open");
    AddButton(file, "AVRibbon:Main:Save:Btn", L"Save");
    AddButton(file, "AVRibbon:Main:SaveAs:Btn", L"Save As");
    AddButton(file, "AVRibbon:Main:Print:Btn", L"Print");
    auto& edit = AddPanel(main, "AVRibbon:Panel:Main:Edit");
    AddButton(edit, "AVRibbon:Main:Undo:Btn", L"Undo");
    AddButton(edit, "AVRibbon:Main:Redo:Btn", L"Redo");

    auto& help = AddCategory("AVRibbon:Category:Help");
    auto& online = AddPanel(help, "AVRibbon:Panel:Help:OnlineSupport");
    AddButton(online, "AVRibbon:Help:Forum:Btn", L"Forum");
    AddButton(online, "AVRibbon:Help:Tutorials:Btn", L"Tutorials");
    auto& product = AddPanel(help, "AVRibbon:Panel:Help:Product");
    AddButton(product, "AVRibbon:Help:CheckForUpdates:Btn", L"Check for Updates");
    AddButton(product, "AVRibbon:Help:ImprovementProgram:Btn", L"Improvement Program");
    AddButton(product, "AVRibbon:Help:SupportTools:Btn", L"Support Tools");
    AddButton(product, "AVRibbon:Help:About:Btn", L"About");
    auto& helpPanel = AddPanel(help, "AVRibbon:Panel:Help:Help");
    AddButton(helpPanel, "AVRibbon:Help:ContactSupport:Btn", L"Contact Support");
    AddButton(helpPanel, "AVRibbon:Help:Help:Btn", L"Help");
}

void Ribbon::Reset() {
    for (auto& category : categories_) removedCategories_.push_back(std::move(category));
    categories_.clear();
    added_ = 0;
    BuildDefault();
}

RibbonCategory& Ribbon::AddCategory(const std::string& name) {
    categories_.push_back(std::make_unique<RibbonCategory>());
    categories_.back()->name = name;
    return *categories_.back();
}

RibbonPanel& Ribbon::AddPanel(RibbonCategory& category, const std::string& name) {
    category.panels.push_back(std::make_unique<RibbonPanel>());
    category.panels.back()->name = name;
    return *category.panels.back();
}

RibbonItem& Ribbon::AddButton(RibbonPanel& panel, const std::string& name, const std::wstring& title) {
    items_.push_back(std::make_unique<RibbonItem>());
    RibbonItem* item = items_.back().get();
    item->name = name;
    item->title = title;
    panel.items.push_back(item);
    return *item;
}

RibbonCategory* Ribbon::FindCategory(const std::string& name) {
    for (auto& category : categories_)
        if (category->name == name) return category.get();
    return nullptr;
}

RibbonPanel* Ribbon::FindPanel(const std::string& category, const std::string& panel) {
    RibbonCategory* c = FindCategory(category);
    if (!c) return nullptr;
    for (auto& p : c->panels)
        if (p->name == panel) return p.get();
    return nullptr;
}

RibbonItem* Ribbon::FindItem(const std::string& name) {
    for (auto& category : categories_)
        for (auto& panel : category->panels)
            for (RibbonItem* item : panel->items)
                if (item->name == name) return item;
    return nullptr;
}

std::vector<RibbonItem*> Ribbon::FindItemsTitled(const std::wstring& title) {
    std::vector<RibbonItem*> found;
    for (auto& category : categories_)
        for (auto& panel : category->panels)
            for (RibbonItem* item : panel->items)
                if (item->title == title) found.push_back(item);
    return found;
}

bool Ribbon::OwnsItem(const void* item) const {
    return std::any_of(items_.begin(), items_.end(), [item](const auto& owned) { return owned.get() == item; });
}

bool Ribbon::IsPresent(const RibbonItem* item) const {
    for (auto& category : categories_)
        for (auto& panel : category->panels)
            for (RibbonItem* present : panel->items)
                if (present == item) return true;
    return false;
}

bool Ribbon::RemovePanel(const std::string& category, const std::string& panel) {
    RibbonCategory* c = FindCategory(category);
    if (!c) return false;
    for (auto it = c->panels.begin(); it != c->panels.end(); ++it) {
        if ((*it)->name == panel) {
            removedPanels_.push_back(std::move(*it));
            c->panels.erase(it);
            return true;
        }
    }
    return false;
}

bool Ribbon::RemoveButton(const std::string& category, const std::string& panel, const std::string& button) {
    RibbonPanel* p = FindPanel(category, panel);
    if (!p) return false;
    auto it = std::find_if(p->items.begin(), p->items.end(), [&](RibbonItem* item) { return item->name == button; });
    if (it == p->items.end()) return false;
    p->items.erase(it);
    return true;
}

RibbonItem* Ribbon::AddItemBeside(const std::string& at, const std::wstring& title) {
    for (auto& category : categories_) {
        for (auto& panel : category->panels) {
            auto& items = panel->items;
            auto it = std::find_if(items.begin(), items.end(), [&](RibbonItem* item) { return item->name == at; });
            if (it == items.end()) continue;
            items_.push_back(std::make_unique<RibbonItem>());
            RibbonItem* item = items_.back().get();
            item->name = at + "+" + std::to_string(++added_);
            item->title = title;
            item->added = true;
            items.insert(it + 1, item);
            return item;
        }
    }
    return nullptr;
}

std::string Ribbon::Describe() const {
    std::string text;
    for (auto& category : categories_) {
        text += "  category " + category->name + "\n";
        for (auto& panel : category->panels) {
            text += "    panel " + panel->name + "\n";
            for (RibbonItem* item : panel->items) {
                text += "      item " + item->name + " \"" + ToUtf8(item->title) + "\"";
                if (item->added) {
                    text += " (added";
                    if (item->owner) text += " by " + item->owner->DisplayName();
                    if (item->iconResource) text += ", PNG " + std::to_string(item->iconResource);
                    text += item->proc ? ", with procedure)" : ", no procedure)";
                }
                text += "\n";
            }
        }
    }
    return text;
}

}  // namespace vxhost
