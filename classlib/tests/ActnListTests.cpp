// Collections (ownership, notices, folded updates) and actions with their links.
#include "classlib/ActnList.h"
#include "classlib/Collections.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Item : TCollectionItem {
    using TCollectionItem::TCollectionItem;
    static std::unique_ptr<TCollectionItem> Make(TCollection* c) { return std::make_unique<Item>(c); }
    void Touch(bool all) { Changed(all); }
};

struct Watched : TCollection {
    Watched() : TCollection(&Item::Make) {}
    std::vector<std::string> log;
    void Notify(TCollectionItem* item, TCollectionNotification action) override
    {
        if (action == TCollectionNotification::cnDeleting)
            log.push_back("deleting " + std::to_string(item->Index()));
        else if (action == TCollectionNotification::cnAdded)
            log.push_back("added " + std::to_string(item->Index()));
    }
    void Update(TCollectionItem* item) override { log.push_back(item ? "one " + std::to_string(item->Index()) : "all"); }
};

TEST(Collections, NoticesAndUpdatesFoldedBetweenBeginAndEnd)
{
    Watched c;
    c.Add();
    auto* second = static_cast<Item*>(c.Add());
    second->Touch(false);
    second->Touch(true);
    EXPECT_EQ(c.log, (std::vector<std::string>{"added 0", "all", "added 1", "all", "one 1", "all"}));
    c.log.clear();
    c.BeginUpdate();
    c.Delete(0);   // the item is still in place while its deletion is announced
    c.Add();
    c.EndUpdate();
    EXPECT_EQ(c.log, (std::vector<std::string>{"deleting 0", "added 1", "all"}));
    EXPECT_EQ(c.Count(), 2);
    EXPECT_EQ(second->Index(), 0);
    EXPECT_THROW(c.Delete(5), EListError);
    c.log.clear();
    c.Clear();
    EXPECT_EQ(c.log, (std::vector<std::string>{"deleting 1", "deleting 0", "all"}));
}

// A client that shows an action's caption and enabled state through a link.
struct Client : TObject {
    std::string caption;
    bool enabled = true;
    int changes = 0;
    void Changed(TObject*) { ++changes; }
};

struct ClientLink : TActionLink {
    explicit ClientLink(Client* c) : TActionLink(c), client(c) {}
    bool IsCaptionLinked() const override
    {
        return TActionLink::IsCaptionLinked() &&
               SameCaption(client->caption, static_cast<TCustomAction*>(Action())->Caption());
    }
    void SetCaption(const std::string& v) override
    {
        if (IsCaptionLinked())
            client->caption = v;
    }
    void SetEnabled(bool v) override { client->enabled = v; }
    Client* client;
};

struct Handler : TObject {
    int runs = 0;
    void Run(TObject*) { ++runs; }
    void Other(TObject*) {}
};

TEST(Actions, LinksCarryValuesOnlyWhileLinkedAndExecuteWhileEnabled)
{
    TAction action(nullptr);
    action.SetCaption("&Back");
    Client client;
    client.caption = "Back";   // the same caption without its accelerator mark
    ClientLink link(&client);
    link.SetAction(&action);
    link.OnChange = TNotifyEvent(&client, &Client::Changed);

    action.SetCaption("&Previous");
    EXPECT_EQ(client.caption, "&Previous");
    EXPECT_EQ(client.changes, 1);
    client.caption = "Mine";
    action.SetCaption("&Back");
    EXPECT_EQ(client.caption, "Mine") << "a caption of the client's own stays";
    action.SetCaption("&Back");
    EXPECT_EQ(client.changes, 2) << "no change, no notice";

    Handler h;
    action.SetOnExecute(TNotifyEvent(&h, &Handler::Run));
    EXPECT_TRUE(action.OnExecute().SameCode(TNotifyEvent(&h, &Handler::Run)));
    EXPECT_FALSE(action.OnExecute().SameCode(TNotifyEvent(&h, &Handler::Other)));
    TComponent executor(nullptr);
    EXPECT_TRUE(link.Execute(&executor));
    EXPECT_EQ(h.runs, 1);
    action.SetEnabled(false);
    EXPECT_FALSE(client.enabled);
    EXPECT_FALSE(link.Execute(&executor));
    EXPECT_EQ(h.runs, 1);
    EXPECT_EQ(action.ClientCount(), 1);
}

TEST(Actions, LinkOutlivingItsActionIsEmpty)
{
    Client client;
    ClientLink link(&client);
    {
        TAction action(nullptr);
        link.SetAction(&action);
    }
    EXPECT_EQ(link.Action(), nullptr);
    EXPECT_FALSE(link.Execute());
}

}  // namespace
