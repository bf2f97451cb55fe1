#include "tools/kxdata/sample_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>

#include "engine/table_file.h"
#include "tools/kxdata/field_list.h"
#include "tools/kxdata/file_damage.h"
#include "tools/kxdata/kxdata.h"
#include "tools/kxdata/sample_schema.h"
#include "tools/kxdata/sample_values.h"

namespace kx::kxdata {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBufferBytes = 4 << 20;  // record images written per append

// Appends generated records to one new table in large blocks and marks a share of them
// deleted once they are written.
class TableWriter {
 public:
  TableWriter(const fs::path& dir, std::string_view base_name, SampleRandom& random,
              double deleted_percent)
      : random_(random), deleted_percent_(deleted_percent) {
    const SampleTableSchema* schema = FindSampleTable(base_name);
    std::vector<std::string> specs(schema->fields.begin(), schema->fields.end());
    table_ = engine::TableFile::Create((dir / (std::string(base_name) + ".adt")).string(),
                                       ParseFieldSpecs(specs));
    values_.resize(table_->Fields().size());
    views_.resize(values_.size());
    record_length_ = table_->RecordLength();
    capacity_ = std::max<std::size_t>(1, kBufferBytes / record_length_);
    buffer_.resize(capacity_ * record_length_);
  }

  // The position of a field in the value list.
  std::size_t Field(std::string_view name) const {
    int index = table_->FindField(name);
    if (index < 0) throw ToolError("the sample table lacks field " + std::string(name));
    return static_cast<std::size_t>(index);
  }
  std::string& operator[](std::size_t field) { return values_[field]; }

  // Queues a record made of the current values (which are then cleared).
  void Add() {
    for (std::size_t i = 0; i < values_.size(); ++i) views_[i] = values_[i];
    table_->FormatRecord(views_, buffer_.data() + pending_ * record_length_);
    for (std::string& value : values_) value.clear();
    ++added_;
    if (random_.Percent(deleted_percent_)) deleted_.push_back(added_);
    if (++pending_ == capacity_) Flush();
  }

  void Flush() {
    if (pending_ > 0) table_->AppendRecordImages(buffer_.data(), pending_);
    pending_ = 0;
  }

  // Writes what is queued and marks the chosen records deleted.
  void Finish() {
    Flush();
    for (std::uint32_t recno : deleted_) table_->DeleteRecord(recno);
    deleted_total_ += deleted_.size();
    deleted_.clear();
  }

  engine::TableFile& Table() { return *table_; }
  std::uint32_t Deleted() const { return static_cast<std::uint32_t>(deleted_total_); }

 private:
  SampleRandom& random_;
  double deleted_percent_;
  std::unique_ptr<engine::TableFile> table_;
  std::vector<std::string> values_;
  std::vector<std::string_view> views_;
  std::size_t record_length_ = 0;
  std::size_t capacity_ = 0;
  std::string buffer_;
  std::size_t pending_ = 0;
  std::uint32_t added_ = 0;
  std::vector<std::uint32_t> deleted_;
  std::size_t deleted_total_ = 0;
};

struct ItemRow {
  std::string code;
  std::size_t type;
  std::size_t location;
  std::size_t unit;
};

struct Folder {
  fs::path dir;
  SampleOptions options;
  SampleRandom random;
  std::vector<ItemRow> items;
  std::vector<std::string> customers;
  std::vector<std::string> vendors;
  SampleSummary summary;

  const SampleDate kFirstDay{2021, 1, 1};
  const SampleDate kLastDay{2026, 11, 30};

  std::string RandomDate() {
    return FormatDate(
        CivilFromDays(random.Between(DaysFromCivil(kFirstDay), DaysFromCivil(kLastDay))));
  }
  std::string RandomTimestamp(const std::string& date) {
    char text[40];
    std::snprintf(text, sizeof text, "%s %02d:%02d:%02d", date.c_str(),
                  static_cast<int>(random.Between(7, 18)), static_cast<int>(random.Below(60)),
                  static_cast<int>(random.Below(60)));
    return text;
  }
  const ItemRow& RandomItem() {
    return items[random.Below(static_cast<std::uint32_t>(items.size()))];
  }
};

// Builds the sample's tags of a table, or those named in `only` when it is not empty; nothing
// when the folder is to have no index files.
void BuildTags(const Folder& f, engine::TableFile& table, std::string_view base_name,
               std::initializer_list<std::string_view> only = {}) {
  if (f.options.no_index) return;
  for (const rebuild::IndexTagDef& tag : SampleTags(base_name)) {
    if (only.size() > 0 && std::find(only.begin(), only.end(), tag.name) == only.end()) continue;
    table.CreateIndex(std::string(tag.name), std::string(tag.expression));
  }
}

void Record(Folder& folder, TableWriter& writer, std::string_view base_name,
            std::string index_state) {
  if (folder.options.no_index) index_state = "no index file";
  folder.summary.tables.push_back({std::string(base_name), writer.Table().RecordCount(),
                                   writer.Deleted(), std::move(index_state)});
}

void MakeLocations(Folder& f) {
  TableWriter w(f.dir, "loc", f.random, f.options.deleted_percent);
  const auto location = w.Field("LOCATION"), desc = w.Field("LDESC"), active = w.Field("LACTIVE");
  for (std::size_t i = 0; i < f.options.locations; ++i) {
    w[location] = LocationCode(i);
    w[desc] = LocationDescription(i);
    w[active].push_back(f.random.Percent(90) ? 'T' : 'F');
    w.Add();
  }
  w.Finish();
  if (f.options.intact) {
    BuildTags(f, w.Table(), "loc");
    Record(f, w, "loc", "intact");
  } else {
    // An index file from an older release: the current tag plus one that is no longer used.
    BuildTags(f, w.Table(), "loc");
    w.Table().CreateIndex("LDESC", "LDESC");
    Record(f, w, "loc", "extra tag LDESC");
  }
}

void MakeTypes(Folder& f) {
  TableWriter w(f.dir, "type", f.random, f.options.deleted_percent);
  const auto type = w.Field("TYPE"), desc = w.Field("TDESC");
  for (std::size_t i = 0; i < ItemTypeCount(); ++i) {
    w[type] = ItemTypeName(i);
    w[desc] = ItemTypeDescription(i);
    w.Add();
  }
  w.Finish();
  BuildTags(f, w.Table(), "type");
  Record(f, w, "type", f.options.intact ? "intact" : "truncated");
}

void MakeUnits(Folder& f) {
  TableWriter w(f.dir, "um", f.random, f.options.deleted_percent);
  const auto uum = w.Field("UUM"), desc = w.Field("UDESC"), factor = w.Field("UFACTOR");
  static const char* const kFactors[] = {"1.000", "12.000", "24.000", "1.000", "1.000",  "1.000",
                                         "2.000", "12.000", "1.000",  "6.000", "10.000", "1.000"};
  for (std::size_t i = 0; i < UnitCount(); ++i) {
    w[uum] = UnitName(i);
    w[desc] = UnitDescription(i);
    w[factor] = kFactors[i % std::size(kFactors)];
    w.Add();
  }
  w.Finish();
  BuildTags(f, w.Table(), "um");
  Record(f, w, "um", "intact");
}

void MakeVendors(Folder& f) {
  TableWriter w(f.dir, "vend", f.random, f.options.deleted_percent);
  const auto no = w.Field("VVENDNO"), name = w.Field("VNAME"), addr = w.Field("VADDR1"),
             city = w.Field("VCITY"), phone = w.Field("VPHONE"), terms = w.Field("VTERMS");
  static const char* const kTerms[] = {"NET30", "NET30", "NET45", "NET60", "2/10N30", "COD"};
  for (std::uint32_t i = 0; i < f.options.vendors; ++i) {
    char code[16];
    std::snprintf(code, sizeof code, "V%05u", 100 + i * 3);
    f.vendors.push_back(code);
    w[no] = code;
    w[name] = CompanyName(f.random);
    w[addr] = StreetAddress(f.random);
    w[city] = CityName(f.random);
    w[phone] = PhoneNumber(f.random);
    w[terms] = f.random.Pick(kTerms);
    w.Add();
  }
  w.Finish();
  BuildTags(f, w.Table(), "vend");
  Record(f, w, "vend", f.options.intact ? "intact" : "not an index file");
}

void MakeCustomers(Folder& f) {
  TableWriter w(f.dir, "cust", f.random, f.options.deleted_percent);
  const auto no = w.Field("CCUSTNO"), name = w.Field("CNAME"), addr = w.Field("CADDR1"),
             city = w.Field("CCITY"), state = w.Field("CSTATE"), zip = w.Field("CZIP"),
             phone = w.Field("CPHONE"), balance = w.Field("CBALANCE"), last = w.Field("CLASTORDER"),
             taxable = w.Field("CTAXABLE");
  static const char* const kStates[] = {"OH", "PA", "NY", "MI", "IN", "IL", "WI", "KY"};
  for (std::uint32_t i = 0; i < f.options.customers; ++i) {
    char code[16];
    std::snprintf(code, sizeof code, "C%06u", 1000 + i * 7);
    f.customers.push_back(code);
    w[no] = code;
    w[name] = CompanyName(f.random);
    w[addr] = StreetAddress(f.random);
    w[city] = CityName(f.random);
    w[state] = f.random.Pick(kStates);
    w[zip] = std::to_string(f.random.Between(10000, 99999));
    w[phone] = PhoneNumber(f.random);
    w[balance] = f.random.Percent(40) ? "0.00" : Amount(f.random, 0, 25000, 2);
    if (f.random.Percent(90)) w[last] = f.RandomDate();
    w[taxable].push_back(f.random.Percent(80) ? 'T' : 'F');
    w.Add();
  }
  w.Finish();
  BuildTags(f, w.Table(), "cust");
  Record(f, w, "cust", f.options.intact ? "intact" : "damaged page");
}

void MakeItems(Folder& f) {
  TableWriter w(f.dir, "item", f.random, f.options.deleted_percent);
  const auto iitem = w.Field("IITEM"), desc1 = w.Field("IDESC1"), desc2 = w.Field("IDESC2"),
             type = w.Field("ITYPE"), location = w.Field("ILOCATION"),
             barcode = w.Field("IBARCODE"), um = w.Field("IUM"), vendno = w.Field("IVENDNO"),
             cost = w.Field("ICOST"), price = w.Field("IPRICE"), onhand = w.Field("IONHAND"),
             reorder = w.Field("IREORDER"), lastsale = w.Field("ILASTSALE"),
             active = w.Field("IACTIVE");
  std::uint32_t serial = 0;
  auto add_row = [&](const ItemRow& row, const std::string& description) {
    w[iitem] = row.code;
    w[desc1] = description;
    if (f.random.Percent(30)) w[desc2] = "SKU " + std::to_string(f.random.Between(10000, 99999));
    w[type] = ItemTypeName(row.type);
    w[location] = LocationCode(row.location);
    if (f.random.Percent(85)) w[barcode] = UpcCode(f.random);
    w[um] = UnitName(row.unit);
    if (!f.vendors.empty()) {
      w[vendno] = f.vendors[f.random.Below(static_cast<std::uint32_t>(f.vendors.size()))];
    }
    // Cost in hundredths of a cent; price a markup of 25 to 84 percent, in cents.
    const std::int64_t cost_units = f.random.Between(2500, 25000000);
    w[cost] = FixedPoint(cost_units, 4);
    w[price] = FixedPoint(cost_units * (125 + f.random.Below(60)) / 10000, 2);
    w[onhand] = Amount(f.random, 0, 500, 3);
    w[reorder] = Amount(f.random, 0, 50, 0);
    if (f.random.Percent(80)) w[lastsale] = f.RandomDate();
    w[active].push_back(f.random.Percent(95) ? 'T' : 'F');
    w.Add();
    f.items.push_back(row);
  };
  while (f.items.size() < f.options.items) {
    ++serial;
    ItemRow row{"", f.random.Below(static_cast<std::uint32_t>(ItemTypeCount())), 0,
                f.random.Below(static_cast<std::uint32_t>(UnitCount()))};
    row.code = ItemCode(row.type, serial * 3 + f.random.Below(3));
    std::string description = ItemDescription(f.random, row.type, 40);
    add_row(row, description);
    // Some items are stocked at a second location as well: same code, another row.
    if (f.options.locations > 1 && f.items.size() < f.options.items && f.random.Percent(20)) {
      row.location = 1 + f.random.Below(f.options.locations - 1);
      add_row(row, description);
    }
  }
  w.Finish();
  BuildTags(f, w.Table(), "item");
  if (f.options.intact) {
    Record(f, w, "item", "intact");
    return;
  }
  // Changes after the index was built: new records that no tag holds, and deletions that the
  // tags still list.
  const std::uint32_t extra = std::max<std::uint32_t>(1, f.options.items / 100);
  for (std::uint32_t i = 0; i < extra; ++i) {
    ItemRow row{ItemCode(0, 900000 + i), 0, 0, 0};
    add_row(row, "NEW ITEM NOT YET INDEXED");
  }
  w.Finish();
  const std::uint32_t count = w.Table().RecordCount();
  for (std::uint32_t i = 0; i < extra; ++i) {
    std::uint32_t recno = 1 + f.random.Below(count);
    if (!w.Table().IsDeleted(recno)) w.Table().DeleteRecord(recno);
  }
  Record(f, w, "item", "stale");
  f.summary.tables.back().deleted = 0;
  w.Table().ForEachRecord([&](std::uint32_t, bool deleted, const char*) {
    if (deleted) ++f.summary.tables.back().deleted;
    return true;
  });
}

void MakeBarcodes(Folder& f) {
  TableWriter w(f.dir, "abar", f.random, f.options.deleted_percent);
  const auto scan = w.Field("BSCANCODE"), item = w.Field("BITEM"), location = w.Field("BLOCATION"),
             um = w.Field("BUM"), qty = w.Field("BQTY");
  for (const ItemRow& row : f.items) {
    if (!f.random.Percent(70)) continue;
    const int codes = f.random.Percent(20) ? 2 : 1;
    for (int i = 0; i < codes; ++i) {
      w[scan] = UpcCode(f.random);
      w[item] = row.code;
      w[location] = LocationCode(row.location);
      w[um] = i == 0 ? UnitName(row.unit) : std::string_view("CS");
      w[qty] = i == 0 ? "1.000" : "12.000";
      w.Add();
    }
  }
  w.Finish();
  if (f.options.intact) {
    BuildTags(f, w.Table(), "abar");
    Record(f, w, "abar", "intact");
  } else {
    Record(f, w, "abar", "no index file");
  }
}

void MakeAssemblies(Folder& f) {
  TableWriter w(f.dir, "asbly", f.random, f.options.deleted_percent);
  const auto mitem = w.Field("AMITEM"), mloc = w.Field("AMILOCATION"), citem = w.Field("ACITEM"),
             cloc = w.Field("ACILOCATION"), qty = w.Field("AQTY"), seq = w.Field("ASEQ");
  for (const ItemRow& row : f.items) {
    if (!f.random.Percent(5)) continue;
    const auto components = f.random.Between(2, 5);
    for (std::int64_t i = 1; i <= components; ++i) {
      const ItemRow& part = f.RandomItem();
      w[mitem] = row.code;
      w[mloc] = LocationCode(row.location);
      w[citem] = part.code;
      w[cloc] = LocationCode(part.location);
      w[qty] = Amount(f.random, 1, 12, 3);
      w[seq] = std::to_string(i * 10);
      w.Add();
    }
  }
  w.Finish();
  if (f.options.intact) {
    BuildTags(f, w.Table(), "asbly");
    Record(f, w, "asbly", "intact");
  } else {
    BuildTags(f, w.Table(), "asbly", {"ASMBLYMAST"});
    Record(f, w, "asbly", "missing tags");
  }
}

void MakeCounts(Folder& f) {
  TableWriter w(f.dir, "phys", f.random, f.options.deleted_percent);
  const auto location = w.Field("PILOCATION"), item = w.Field("PITEM"), count = w.Field("PCOUNT"),
             date = w.Field("PCOUNTDATE"), by = w.Field("PCOUNTEDBY");
  static const char* const kCounters[] = {"JSMITH", "MGARCIA", "TNGUYEN", "RPATEL", "AKOWALSKI"};
  for (const ItemRow& row : f.items) {
    if (!f.random.Percent(30)) continue;
    w[location] = LocationCode(row.location);
    w[item] = row.code;
    w[count] = Amount(f.random, 0, 400, 3);
    w[date] = f.RandomDate();
    w[by] = f.random.Pick(kCounters);
    w.Add();
  }
  w.Finish();
  if (f.options.intact) {
    BuildTags(f, w.Table(), "phys");
    Record(f, w, "phys", "intact");
  } else {
    // A tag of an older release with its fields in the other order.
    w.Table().CreateIndex("PITEMLOC", "PITEM;PILOCATION");
    Record(f, w, "phys", "outdated key expression");
  }
}

void MakeTransactions(Folder& f) {
  TableWriter w(f.dir, "tran", f.random, f.options.deleted_percent);
  const auto item = w.Field("TITEM"), date = w.Field("TDATE"), code = w.Field("TCODE"),
             location = w.Field("TLOCATION"), number = w.Field("TRANSACTIONNUMBER"),
             qty = w.Field("TQTY"), cost = w.Field("TCOST"), price = w.Field("TPRICE"),
             cust = w.Field("TCUSTNO"), vend = w.Field("TVENDNO"), ref = w.Field("TREF"),
             user = w.Field("TUSER"), posted = w.Field("TPOSTED"), entered = w.Field("TENTERED"),
             memo = w.Field("TMEMO");
  static const char* const kUsers[] = {"ADMIN",   "JSMITH",   "MGARCIA",
                                       "TNGUYEN", "COUNTER1", "COUNTER2"};
  static const char* const kMemos[] = {"",
                                       "",
                                       "",
                                       "",
                                       "BACKORDER FILLED",
                                       "DAMAGED IN TRANSIT",
                                       "CUSTOMER PICKUP",
                                       "PRICE MATCH",
                                       "CYCLE COUNT"};
  std::uint32_t serial = 100000;
  auto add_one = [&]() {
    const ItemRow& row = f.RandomItem();
    const std::string_view tcode =
        TransactionCode(f.random.Below(static_cast<std::uint32_t>(TransactionCodeCount())));
    w[item] = row.code;
    w[date] = f.RandomDate();
    w[code] = tcode;
    w[location] = LocationCode(row.location);
    w[number] = std::to_string(++serial);
    const bool outgoing = tcode == "SL" || tcode == "TR";
    w[qty] = (outgoing ? "-" : "") + Amount(f.random, 1, 48, 3);
    w[cost] = Amount(f.random, 0.25, 900, 4);
    w[price] = Amount(f.random, 0.5, 1500, 2);
    if (tcode == "SL" && !f.customers.empty()) {
      w[cust] = f.customers[f.random.Below(static_cast<std::uint32_t>(f.customers.size()))];
    }
    if (tcode == "RC" && !f.vendors.empty()) {
      w[vend] = f.vendors[f.random.Below(static_cast<std::uint32_t>(f.vendors.size()))];
      w[ref] = "PO" + std::to_string(f.random.Between(20000, 89999));
    } else if (tcode == "SL") {
      w[ref] = "INV" + std::to_string(f.random.Between(100000, 999999));
    }
    w[user] = f.random.Pick(kUsers);
    w[posted].push_back(f.random.Percent(97) ? 'T' : 'F');
    w[entered] = f.RandomTimestamp(w[date]);
    w[memo] = f.random.Pick(kMemos);
    w.Add();
  };
  for (std::uint32_t i = 0; i < f.options.trans; ++i) add_one();
  w.Finish();
  if (f.options.intact) {
    BuildTags(f, w.Table(), "tran");
    Record(f, w, "tran", "intact");
    return;
  }
  BuildTags(f, w.Table(), "tran",
            {"TITEM", "BYDATE", "BYDATECODE", "BYITEMDATECODE", "BYITEMLOCATION"});
  // Postings after the index was built.
  const std::uint32_t extra = std::max<std::uint32_t>(1, f.options.trans / 200);
  for (std::uint32_t i = 0; i < extra; ++i) add_one();
  w.Finish();
  Record(f, w, "tran", "stale, missing tag TRANSNUMBER");
}

// Damage done to whole index files once their tags are built.
void DamageIndexFiles(const fs::path& dir) {
  const std::string cust = (dir / "cust.adi").string();
  FlipByte(cust, fs::file_size(cust) * 3 / 4, 0x5A);
  const std::string type = (dir / "type.adi").string();
  TruncateFile(type, fs::file_size(type) / 2);
  std::ofstream vend((dir / "vend.adi").string(), std::ios::binary | std::ios::trunc);
  vend << "This file was overwritten by a backup program.\r\n";
  if (!vend) throw ToolError("cannot write " + (dir / "vend.adi").string());
}

}  // namespace

SampleSummary MakeSampleFolder(const std::string& dir, const SampleOptions& options) {
  if (options.locations < 1 || options.locations > 99) {
    throw ToolError("the number of locations must be from 1 to 99");
  }
  if (options.items < 1) throw ToolError("a sample needs at least one item");
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir)) throw ToolError("cannot create the folder " + dir);
  for (const SampleTableSchema& table : SampleTables()) {
    fs::path path = fs::path(dir) / (std::string(table.base_name) + ".adt");
    if (fs::exists(path)) throw ToolError(path.string() + " exists already");
  }
  Folder folder{fs::path(dir), options, SampleRandom(options.seed), {}, {}, {}, {}};
  // Without index files there is nothing to damage: the tables are made as for an intact
  // folder.
  if (options.no_index) folder.options.intact = true;
  // Reference tables first: items refer to vendors, transactions to items and customers.
  MakeLocations(folder);
  MakeTypes(folder);
  MakeUnits(folder);
  MakeVendors(folder);
  MakeCustomers(folder);
  MakeItems(folder);
  MakeBarcodes(folder);
  MakeAssemblies(folder);
  MakeCounts(folder);
  MakeTransactions(folder);
  if (!folder.options.intact) DamageIndexFiles(folder.dir);

  // Report in the order of the ten tables.
  SampleSummary ordered;
  for (const SampleTableSchema& table : SampleTables()) {
    for (const SampleTableSummary& entry : folder.summary.tables) {
      if (entry.base_name == table.base_name) ordered.tables.push_back(entry);
    }
  }
  return ordered;
}

}  // namespace kx::kxdata
