// One line per decoder file: QUILLON_DECODER(functionName), where the file defines
//   void functionName(quillon::decode::DecoderRegistry&, quillon::decode::DecoderEnv&);
// in namespace quillon::decode and registers its families there.
// Example: QUILLON_DECODER(registerX10Decoders)
QUILLON_DECODER(registerFamilyDecoders)
