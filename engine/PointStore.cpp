#include "engine/PointStore.h"
#include "engine/XmlFiles.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>
#include <string>

namespace
{
    /** A stored point; a damaged value (not a number, or beyond a float) reads as 0.
        Parsed in the C locale by the standard library: JUCE's own parser overflows an int
        on a long exponent. */
    float readPoint (const juce::XmlElement& element, const char* attribute)
    {
        std::istringstream in (element.getStringAttribute (attribute).toStdString());
        in.imbue (std::locale::classic());

        double parsed = 0.0;
        in >> parsed;

        const auto value = in.fail() ? 0.0f : (float) parsed;
        return std::isfinite (value) ? value : 0.0f;
    }

    /** The attribute names, made once: each juce::Identifier made from text is looked up in
        JUCE's pool of names, which holds every key of the data file. */
    struct Names
    {
        const juce::Identifier name { "name" }, cue { "cue" }, p1 { "p1" }, p2 { "p2" };

        /** What an element made during a batch is called until the batch ends. */
        const juce::Identifier standIn { "unnamed" };
    };

    const Names& names()
    {
        static const Names n;
        return n;
    }

    /** Tags compare without case, as the keys are hex. */
    juce::String indexKey (const juce::String& tag)
    {
        return tag.toLowerCase();
    }

    bool belongsTo (const juce::XmlElement& element, const juce::String& path)
    {
        return ! element.hasAttribute ("name") || element.getStringAttribute ("name") == path;
    }
}

void PointStore::Points::fileOpened()
{
    if (opened.exchange (true))
        return;

    if (cue.load() == 0.0f && loopA.load() == 0.0f && loopB.load() == 0.0f)
    {
        cue = storedCue;
        loopA = storedLoopA;
        loopB = storedLoopB;
    }
}

PointStore::PointStore (juce::XmlElement* r)
    : root (r)
{
    if (root != nullptr)
    {
        for (auto* element : root->getChildIterator())
            byKey[indexKey (element->getTagName())].push_back (element);

        numChildren = (size_t) root->getNumChildElements();
    }
}

juce::XmlElement* PointStore::find (const juce::String& key, const juce::String& path) const
{
    const auto candidates = byKey.find (indexKey (key));

    if (candidates != byKey.end())
        for (auto* element : candidates->second)
            if (belongsTo (*element, path))
                return element;

    return nullptr;
}

juce::XmlElement* PointStore::findOrCreate (const juce::String& key, const juce::String& path)
{
    if (root == nullptr)
        return nullptr;

    if (auto* element = find (key, path))
        return element;

    return create (key);
}

juce::XmlElement* PointStore::create (const juce::String& key)
{
    // Appending walks the whole list of children. In a large root new elements are
    // prepended instead, and restoreOrder() puts them after the others, in the order they
    // were made. During a batch the element is made under a stand-in name, which the pool
    // already holds, and named as the batch ends.
    auto* element = batchDepth > 0 ? new juce::XmlElement (names().standIn)
                                   : new juce::XmlElement (juce::StringRef (key));

    if (batchDepth > 0)
        unnamed.emplace_back (key, element);

    if (numChildren++ < 256)
    {
        root->addChildElement (element);
    }
    else
    {
        root->prependChildElement (element);
        ++prepended;
    }

    byKey[indexKey (key)].push_back (element);
    return element;
}

void PointStore::nameNewElements()
{
    if (unnamed.empty())
        return;

    // JUCE keeps element names in one sorted pool, where each new name is inserted in place
    // and moves every larger one: k new names among the n of the root cost about k * n / 2
    // moves, even taken in sorted order. Where that is more than about a thousand moves for
    // each name of the root, the root's names are taken out of the pool first, and then all
    // put back in sorted order, each going at the end. The names are held here as copies of
    // their own, so that the pool sees only what the elements hold.
    std::vector<std::pair<std::string, juce::XmlElement*>> named;

    for (const auto& [key, element] : unnamed)
        named.emplace_back (key.toStdString(), element);

    const auto k = (double) unnamed.size();
    const auto n = (double) numChildren - k;
    unnamed.clear();

    if (k * n / 2.0 > 1000.0 * (n + k))
    {
        const auto standIn = names().standIn.toString();

        for (auto* element : root->getChildIterator())
        {
            if (element->getTagName() != standIn)
            {
                named.emplace_back (element->getTagName().toStdString(), element);
                element->setTagName (standIn);
            }
        }

        juce::StringPool::getGlobalPool().garbageCollect();
    }

    std::sort (named.begin(), named.end());

    for (const auto& [name, element] : named)
        element->setTagName (juce::String::fromUTF8 (name.data(), (int) name.size()));
}

void PointStore::restoreOrder()
{
    if (prepended == 0)
        return;

    std::vector<juce::XmlElement*> children;
    children.reserve ((size_t) root->getNumChildElements());

    for (auto* child : root->getChildIterator())
        children.push_back (child);

    // Newest first, then the elements that were there before: taken off the front one by
    // one, and put back from the last.
    std::reverse (children.begin(), children.begin() + (std::ptrdiff_t) prepended);
    std::rotate (children.begin(), children.begin() + (std::ptrdiff_t) prepended, children.end());

    while (auto* first = root->getFirstChildElement())
        root->removeChildElement (first, false);

    for (auto i = children.rbegin(); i != children.rend(); ++i)
        root->prependChildElement (*i);

    prepended = 0;
}

std::shared_ptr<PointStore::Points> PointStore::pointsFor (const juce::String& key, const juce::String& path)
{
    if (auto existing = shared[path].lock())
        return existing;

    auto points = std::make_shared<Points>();

    if (root != nullptr)
    {
        if (auto* element = find (key, path))
        {
            points->storedCue = readPoint (*element, "cue");
            points->storedLoopA = readPoint (*element, "p1");
            points->storedLoopB = readPoint (*element, "p2");
        }
    }

    shared[path] = points;
    return points;
}

void PointStore::claim (const juce::String& key, const juce::String& path)
{
    if (auto* element = findOrCreate (key, path))
    {
        element->setAttribute (names().name, path);

        if (changed.emplace (element, false).second)
            touched.push_back (element);
    }
}

void PointStore::store (const juce::String& key, const juce::String& path, const Points& points)
{
    auto* element = findOrCreate (key, path);

    if (element == nullptr)
        return;

    const float cue = points.cue, loopA = points.loopA, loopB = points.loopB;

    const auto& n = names();
    element->setAttribute (n.name, path);
    element->setAttribute (n.cue, XmlFiles::formatNumber (cue));
    element->setAttribute (n.p1, XmlFiles::formatNumber (loopA));
    element->setAttribute (n.p2, XmlFiles::formatNumber (loopB));

    const bool differs = cue != points.storedCue || loopA != points.storedLoopA || loopB != points.storedLoopB;
    const auto [where, isNew] = changed.emplace (element, differs);

    if (isNew)
        touched.push_back (element);
    else
        where->second = where->second || differs;
}

void PointStore::mergeChangesInto (juce::XmlElement& current) const
{
    PointStore now (&current);
    const Batch batch (now);

    for (auto* element : touched)
    {
        const auto path = element->getStringAttribute ("name");
        auto* target = now.find (element->getTagName(), path);

        if (target == nullptr)
        {
            target = now.create (element->getTagName());

            for (int i = 0; i < element->getNumAttributes(); ++i)
                target->setAttribute (element->getAttributeName (i), element->getAttributeValue (i));
        }
        else if (changed.at (element))
        {
            for (auto* attribute : { &names().name, &names().cue, &names().p1, &names().p2 })
                if (element->hasAttribute (attribute->toString()))
                    target->setAttribute (*attribute, element->getStringAttribute (attribute->toString()));
        }
    }

    now.restoreOrder();
}
