// The module's three classes in registration order. A pending class is
// registered by writing its definition (see class_type.h) and naming it
// in `registered`.
#include "bridge/class_table.h"
#include "bridge/client_class.h"
#include "bridge/crdt_document_class.h"
#include "bridge/store_class.h"

namespace ww::bridge {

const ClassTable& module_classes() {
  static const ClassTable table{
      registered<ClientStateClass>(),
      registered<CrdtDocumentClass>(),
      registered<StoreClass>(),
  };
  return table;
}

}  // namespace ww::bridge
