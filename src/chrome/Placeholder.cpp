// placeholder so the library has a source until its classes land
namespace velmora_view_placeholder {}
