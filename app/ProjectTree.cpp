#include "app/ProjectTree.h"

#include "app/LanguageTable.h"
#include "platform/StringUtil.h"
#include "project/ProjectFile.h"

#include <utility>
#include <vector>

namespace {

constexpr TreeView::TreeItem kNoItem = TreeView::kNoItem;

}  // namespace

ProjectTree::ProjectTree(Project& project, const LanguageTable& language)
    : m_project(project), m_language(language) {}

ProjectTree::TreeItem ProjectTree::addScreen(std::u16string_view name,
                                             const ChooseSize& chooseSize) {
    const ScreenId id = m_project.nextScreenId();
    if (id == 0) return kNoItem;
    ScreenRecord screen;
    screen.name = name.empty() ? m_project.generatedScreenName(m_language.text(u"Screen"))
                               : std::u16string(name);
    if (chooseSize && !chooseSize(screen)) return kNoItem;
    const TreeItem item = m_tree->insertItem(kNoItem, screen.name);
    if (!item) return kNoItem;
    m_tree->setItemData(item, id);
    m_project.addScreen(std::move(screen));
    if (chooseSize) m_tree->selectItem(item);
    return item;
}

ProjectTree::TreeItem ProjectTree::addProgram(TreeItem screenItem, std::u16string_view name) {
    if (!screenItem) return kNoItem;
    const uint32_t data = m_tree->itemData(screenItem);
    if (isProgramKey(data)) return kNoItem;
    const ScreenId screenId = static_cast<ScreenId>(data);
    if (!m_project.canAddProgram(screenId)) return kNoItem;
    const std::u16string label =
        name.empty() ? m_project.generatedProgramName(screenId, m_language.text(u"Program"))
                     : std::u16string(name);
    const TreeItem item = m_tree->insertItem(screenItem, label);
    if (!item) return kNoItem;
    m_tree->expandItem(screenItem);
    m_tree->setItemImage(item, 2);
    m_tree->setItemData(item, m_project.nextProgramKey(screenId));
    ProgramRecord program;
    program.name = label;
    program.AutoAdjust =
        Project::autoAdjustFor(m_language.name(), m_project.findScreen(screenId)->height);
    m_project.addProgram(screenId, std::move(program));
    return item;
}

bool ProjectTree::loadFile(const std::filesystem::path& path, std::string* error,
                           int* programsAdded) {
    std::vector<ProjectFile::LoadedScreen> screens;
    if (!ProjectFile::read(path, screens, error)) return false;
    int added = 0;
    for (ProjectFile::LoadedScreen& loaded : screens) {
        const TreeItem screenItem = addScreen(loaded.screen.name);
        if (!screenItem) continue;
        ScreenRecord* screen =
            m_project.findScreen(static_cast<ScreenId>(m_tree->itemData(screenItem)));
        screen->width = loaded.screen.width;
        screen->height = loaded.screen.height;
        screen->baseColor = loaded.screen.baseColor;
        bool anyChecked = false, anyUnchecked = false;
        for (ProgramRecord& read : loaded.programs) {
            const TreeItem item = addProgram(screenItem, read.name);
            if (!item) continue;  // the eleventh and later are dropped
            ++added;
            ProgramRecord* program = m_project.findProgram(m_tree->itemData(item));
            program->checked = read.checked;
            program->OffsetX = read.OffsetX;
            program->OffsetY = read.OffsetY;
            program->StretchH = read.StretchH;
            program->StretchV = read.StretchV;
            program->PitchOffSet = read.PitchOffSet;
            program->AutoAdjust = read.AutoAdjust;
            program->settings = std::move(read.settings);
            m_tree->setItemImage(item, read.checked ? 2 : 0);
            (read.checked ? anyChecked : anyUnchecked) = true;
        }
        m_tree->setItemImage(screenItem, !anyUnchecked ? 2 : anyChecked ? 1 : 0);
    }
    if (programsAdded) *programsAdded = added;
    return true;
}

ProjectTree::TreeItem ProjectTree::findItem(uint32_t data) const {
    for (TreeItem s = m_tree->firstChild(kNoItem); s; s = m_tree->nextSibling(s)) {
        if (m_tree->itemData(s) == data) return s;
        for (TreeItem c = m_tree->firstChild(s); c; c = m_tree->nextSibling(c))
            if (m_tree->itemData(c) == data) return c;
    }
    return kNoItem;
}

ScreenId ProjectTree::selectedScreen() const {
    const TreeItem item = m_tree ? m_tree->selectedItem() : kNoItem;
    if (!item) return 0;
    const uint32_t data = m_tree->itemData(item);
    return isProgramKey(data) ? screenOfKey(data) : static_cast<ScreenId>(data);
}

ProgramKey ProjectTree::selectedProgram() const {
    const TreeItem item = m_tree ? m_tree->selectedItem() : kNoItem;
    const uint32_t data = item ? m_tree->itemData(item) : 0;
    return isProgramKey(data) ? data : 0;
}

ScreenId ProjectTree::screenNamed(std::u16string_view name) const {
    if (!m_tree) return 0;
    for (TreeItem s = m_tree->firstChild(kNoItem); s; s = m_tree->nextSibling(s))
        if (platform::equalsNoCase(m_tree->itemLabel(s), name))
            return static_cast<ScreenId>(m_tree->itemData(s));
    return 0;
}

void ProjectTree::deriveCheckState() {
    for (TreeItem s = m_tree->firstChild(kNoItem); s; s = m_tree->nextSibling(s)) {
        int total = 0, checked = 0;
        for (TreeItem c = m_tree->firstChild(s); c; c = m_tree->nextSibling(c)) {
            const bool on = m_tree->itemImage(c) != 0;
            if (ProgramRecord* p = m_project.findProgram(m_tree->itemData(c)))
                p->checked = on ? 1 : 0;
            ++total;
            checked += on ? 1 : 0;
        }
        m_tree->setItemImage(s, total > 0 && checked == total ? 2 : checked > 0 ? 1 : 0);
    }
}

void ProjectTree::toggleCheck(TreeItem item) {
    const int image = m_tree->itemImage(item) == 0 ? 2 : 0;
    m_tree->setItemImage(item, image);
    if (!isProgramKey(m_tree->itemData(item)))
        for (TreeItem c = m_tree->firstChild(item); c; c = m_tree->nextSibling(c))
            m_tree->setItemImage(c, image);
    deriveCheckState();
}

void ProjectTree::exchange(TreeItem a, TreeItem b) {
    const std::u16string label = m_tree->itemLabel(a);
    const uint32_t data = m_tree->itemData(a);
    m_tree->setItemLabel(a, m_tree->itemLabel(b));
    m_tree->setItemData(a, m_tree->itemData(b));
    m_tree->setItemLabel(b, label);
    m_tree->setItemData(b, data);
    // A screen takes its programs along, or they would show under the other screen's name.
    if (!isProgramKey(data)) exchangeChildren(a, b);
}

void ProjectTree::exchangeChildren(TreeItem a, TreeItem b) {
    struct Child {
        std::u16string label;
        uint32_t data;
        int image;
    };
    auto take = [this](TreeItem parent) {
        std::vector<Child> children;
        for (TreeItem c = m_tree->firstChild(parent); c; c = m_tree->nextSibling(c))
            children.push_back({m_tree->itemLabel(c), m_tree->itemData(c), m_tree->itemImage(c)});
        return children;
    };
    const std::vector<Child> ofA = take(a), ofB = take(b);
    const TreeItem selected = m_tree->selectedItem();
    const uint32_t selectedData = selected ? m_tree->itemData(selected) : 0;
    const bool programSelected =
        selected && isProgramKey(selectedData) &&
        (m_tree->parentItem(selected) == a || m_tree->parentItem(selected) == b);
    if (programSelected) m_tree->selectItem(m_tree->parentItem(selected));
    for (TreeItem parent : {a, b})
        while (TreeItem c = m_tree->firstChild(parent))
            m_tree->deleteItem(c);
    auto put = [this](TreeItem parent, const std::vector<Child>& children) {
        for (const Child& c : children) {
            const TreeItem item = m_tree->insertItem(parent, c.label);
            m_tree->setItemData(item, c.data);
            m_tree->setItemImage(item, c.image);
        }
        if (!children.empty()) m_tree->expandItem(parent);
    };
    // The labels and data are exchanged already: a now carries b's screen.
    put(a, ofB);
    put(b, ofA);
    if (programSelected)
        if (TreeItem item = findItem(selectedData)) m_tree->selectItem(item);
}

uint32_t ProjectTree::rename(TreeItem item, std::u16string_view name) {
    m_tree->setItemLabel(item, name);
    const uint32_t data = m_tree->itemData(item);
    if (isProgramKey(data)) {
        if (ProgramRecord* p = m_project.findProgram(data)) p->name = name;
    } else {
        if (ScreenRecord* s = m_project.findScreen(static_cast<ScreenId>(data))) s->name = name;
    }
    return data;
}

void ProjectTree::deleteScreen(TreeItem item) {
    if (!item) return;
    if (TreeItem parent = m_tree->parentItem(item)) item = parent;
    const uint32_t data = m_tree->itemData(item);
    m_tree->deleteItem(item);
    if (!isProgramKey(data)) m_project.removeScreen(static_cast<ScreenId>(data));
}

bool ProjectTree::deleteProgram(TreeItem item) {
    if (!item) return false;
    const uint32_t data = m_tree->itemData(item);
    if (!isProgramKey(data)) return false;
    m_project.removeProgram(data);
    m_tree->deleteItem(item);
    // The screen's check image follows what is left of it.
    deriveCheckState();
    return true;
}
