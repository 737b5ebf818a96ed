// File names, slot times and the slot list.
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <memory>

#include "data/fileinfo.h"
#include "data/rgbrecipe.h"
#include "data/satellite.h"
#include "data/supl.h"
#include "tests/support/logcapture.h"

namespace {

constexpr const char* IR108 = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_";

struct LayerPtr {
  Layer* p;
  ~LayerPtr() { InfoDel(&p); }
};

Layer* Parsed(const std::string& name) {
  Layer* l = std::make_unique<Layer>().release();  // as the monitor fills a zero layer
  l->name = name;
  InfoParseName(l);
  return l;
}

TEST(FileInfoName, ParsesTheNamesOfEverySatellite) {
  const std::pair<std::string, int> good[] = {
      {"H-000-MSG3__-MSG3________-HRV______-000007___-201607041200-C_", 12},
      {"H-000-MSG3__-MSG3________-VIS006___-000019___-201607041200-C_", 1},
      {"/some/folder/H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_", 9},
      {"H-000-MSG4__-MSG4________-IR_108___-000007___-201807190700-C_", 9},
      {"H-000-MSG3__-MSG3_RSS____-IR_016___-000007___-202204040740-C_", 3},
      {"H-000-MSG2__-MSG2_IODC___-WV_073___-000019___-202204040740-C_", 6}};
  for (const auto& [name, id] : good) {
    LayerPtr l{Parsed(name)};
    EXPECT_EQ(l.p->id, id) << name;
    EXPECT_EQ(l.p->slot, name.substr(name.size() - 15, 12)) << name;
  }
  LayerPtr l{Parsed("H-000-MSG3__-MSG3_RSS____-IR_016___-000007___-202204040740-C_")};
  EXPECT_EQ(l.p->time.tm_year, 2022);
  EXPECT_EQ(l.p->time.tm_mon, 3);
  EXPECT_EQ(l.p->time.tm_mday, 4);
  EXPECT_EQ(l.p->time.tm_hour, 7);
  EXPECT_EQ(l.p->time.tm_min, 40);
  InfoFreePattern();  // as a window closing does; a window built later must still parse
  for (int n = 1; n <= 4; n++)
    for (SatService service : {SatService::Full, SatService::Rapid, SatService::Iodc}) {
      LayerPtr hrv{Parsed(SatSegmentName(Sat{n, service}, "HRV___", 19, "201607041215"))};
      EXPECT_EQ(hrv.p->id, 12) << n << SatServiceName(service);
      EXPECT_EQ(hrv.p->time.tm_min, 15) << n << SatServiceName(service);
    }
}

TEST(FileInfoName, RejectsOtherNamesWithOneWarning) {
  const char* bad[] = {"H-000-MSG3__-MSG3________-IR_108___-000008___-201607041200-C_",
                       "H-000-MSG3__-MSG3________-IR_108___-000007___-20160704120-C_",
                       "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__", "", "x",
                       "H-000-MSG5__-MSG5________-IR_108___-000007___-201807190700-C_",
                       "H-000-MSG3__-MSG4________-IR_108___-000007___-201807190700-C_",  // two spacecraft
                       "H-000-MSG3__-MSG3_IOD____-IR_108___-000007___-201807190700-C_",
                       "H-000-MSG3__-MSG3_RSS____-IR_108___-000006___-202204040740-C_"};
  for (const char* name : bad) {
    LogCapture log;
    Layer* l = std::make_unique<Layer>().release();
    l->name = name;
    EXPECT_FALSE(InfoParseName(l)) << name;
    EXPECT_EQ(l->id, 0);
    EXPECT_EQ(log.count(), 1u) << name;
    InfoDel(&l);
    EXPECT_EQ(l, nullptr);
  }
  EXPECT_FALSE(InfoParseName(nullptr));
}

// The name made for every channel parses back to it; names for a chosen satellite, and without
// a choice exactly the MSG3 names of before; composites are named by their recipe.
TEST(FileInfoNew, NamesChannelsAndComposites) {
  for (int id = 1; id <= CHANNEL_COUNT; id++) {
    LayerPtr made{InfoNew(id, "201607041200")};
    ASSERT_EQ(made.p->name.size(), size_t(NAME_LENGTH)) << made.p->name;
    LayerPtr back{Parsed(made.p->name)};
    EXPECT_EQ(back.p->id, id) << made.p->name;
    EXPECT_EQ(back.p->slot, "201607041200");
  }
  const Sat rss{3, SatService::Rapid}, msg4{4, SatService::Full};
  LayerPtr hrv{InfoNew(12, "201607041200")};
  EXPECT_EQ(hrv.p->name, "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_");
  LayerPtr ir{InfoNew(9, "201607041200")};
  EXPECT_EQ(ir.p->name, IR108);
  LayerPtr rapid{InfoNew(9, "202204040740", nullptr, &rss)};
  EXPECT_EQ(rapid.p->name, "H-000-MSG3__-MSG3_RSS____-IR_108___-000007___-202204040740-C_");
  LayerPtr hrv4{InfoNew(12, "201807190700", nullptr, &msg4)};
  EXPECT_EQ(hrv4.p->name, "H-000-MSG4__-MSG4________-HRV______-000019___-201807190700-C_");
  std::vector<RgbRecipe> recipes(2);
  recipes[0].name = "MPhys(Air)";
  recipes[1].name = "Natural";
  LayerPtr rgb{InfoNew(14, "201607041200", &recipes)};
  EXPECT_EQ(rgb.p->name, "Natural");
  LayerPtr none{InfoNew(13 + 5, "201607041200", &recipes)};
  EXPECT_TRUE(none.p->name.empty());
  // A slot text of the wrong length: the current time, the text kept in the name as passed.
  LayerPtr now{InfoNew(9, "2016")};
  EXPECT_GE(now.p->time.tm_year, 2024);
  EXPECT_EQ(now.p->slot.size(), 12u);
  EXPECT_NE(now.p->name.find("-2016-C_"), std::string::npos);
}

TEST(SlotList, InsertGroupsByTimeAndReplacesSameId) {
  GList* list = nullptr;
  InfoSlotInsert(&list, InfoNew(9, "201607041200"));
  GList* link = nullptr;
  InfoSlotInsert(&list, InfoNew(1, "201607041200"), &link);
  ASSERT_EQ(g_list_length(list), 1u);
  EXPECT_EQ(link, list);
  auto* slot = static_cast<Slot*>(list->data);
  ASSERT_NE(slot[0], nullptr);
  EXPECT_EQ(slot[0]->slot, "201607041200");
  EXPECT_TRUE(slot[0]->name.empty());
  Layer* replaced = InfoNew(9, "201607041200");
  InfoSlotInsert(&list, replaced);
  EXPECT_EQ(slot[9], replaced);
  InfoSlotInsert(&list, InfoNew(9, "201607041215"));
  EXPECT_EQ(g_list_length(list), 2u);
  // Ids outside the array are refused with a warning each.
  LogCapture log;
  InfoSlotInsert(&list, InfoNew(0, "201607041200"));
  InfoSlotInsert(&list, InfoNew(SLOT_SIZE, "201607041200"));
  EXPECT_EQ(g_list_length(list), 2u);
  EXPECT_EQ(log.count(), 2u);
  // Comparing with an empty slot warns.
  Slot* empty = InfoSlotNew();
  EXPECT_EQ(InfoSlotCompare(empty, list->data), -1);
  EXPECT_TRUE(log.contains("fileinfo:"));
  InfoSlotDel(empty);
  g_list_free_full(list, InfoSlotDel);
}

TEST(SlotList, SortsByLastLayerTimeThenId) {
  GList* list = nullptr;
  InfoSlotInsert(&list, InfoNew(9, "201607041230"));
  InfoSlotInsert(&list, InfoNew(20, "201607041200"));  // only a composite
  InfoSlotInsert(&list, InfoNew(1, "201607041215"));
  list = g_list_sort(list, InfoSlotCompare);
  std::vector<std::string> order;
  for (GList* l = list; l; l = l->next) order.push_back(static_cast<Slot*>(l->data)[0]->slot);
  EXPECT_EQ(order, (std::vector<std::string>{"201607041200", "201607041215", "201607041230"}));
  g_list_free_full(list, InfoSlotDel);
}

TEST(SlotList, CompareOrdersYearZeroLastThenIdThenName) {
  Layer a, b;
  a.time.tm_year = 0;
  b.time.tm_year = 2016;
  EXPECT_GT(InfoCompare(&a, &b), 0);
  EXPECT_LT(InfoCompare(&b, &a), 0);
  a.time = b.time;
  a.id = 3;
  b.id = 4;
  EXPECT_LT(InfoCompare(&a, &b), 0);
  b.id = 3;
  a.name = "abc";
  b.name = "ABD";
  EXPECT_LT(InfoCompare(&a, &b), 0);
  b.name = "ABC";
  EXPECT_EQ(InfoCompare(&a, &b), 0);
}

TEST(SuplDate, ParseDateNeedsExactlyTwelveCharacters) {
  SlotTime t{};
  t.tm_sec = 7;
  EXPECT_FALSE(SuplParseDate("20160704120", &t));
  EXPECT_FALSE(SuplParseDate("2016070412000", &t));
  EXPECT_EQ(t.tm_year, 0);
  ASSERT_TRUE(SuplParseDate("201612312345", &t));
  EXPECT_EQ(t.tm_year, 2016);
  EXPECT_EQ(t.tm_mon, 11);
  EXPECT_EQ(t.tm_mday, 31);
  EXPECT_EQ(t.tm_hour, 23);
  EXPECT_EQ(t.tm_min, 45);
  EXPECT_EQ(t.tm_sec, 7);  // untouched
}

TEST(SuplDate, StrToIntAndDaysInMonth) {
  EXPECT_EQ(SuplStrToInt("0042xx", 4), 42);
  EXPECT_EQ(SuplStrToInt("123", 0), 0);
  EXPECT_EQ(SuplStrToInt("123", -1), 0);
  EXPECT_EQ(SuplDaysInMonth(2000, 1), 29);
  EXPECT_EQ(SuplDaysInMonth(1900, 1), 28);
  EXPECT_EQ(SuplDaysInMonth(2016, 1), 29);
  EXPECT_EQ(SuplDaysInMonth(2017, 1), 28);
  EXPECT_EQ(SuplDaysInMonth(2017, 8), 30);
  EXPECT_EQ(SuplDaysInMonth(2017, 11), 31);
}

TEST(SuplDate, DateLabel) {
  auto label = [](const char* s) {
    char* l = SuplDateLabel(s);
    std::string out = l;
    g_free(l);
    return out;
  };
  EXPECT_EQ(label("201607041200"), "July04 12:00");
  EXPECT_EQ(label("201608041215"), "Aug04 12:15");
  EXPECT_EQ(label("201600041215"), "Jan04 12:15");
  EXPECT_EQ(label("201613041215"), "Dec04 12:15");
  EXPECT_EQ(label("201609301445"), "Sept30 14:45");
}

}  // namespace
